"""Plain-text tables and the number formats the comparison prints."""


def render(title, headers, rows):
    cells = [[str(h) for h in headers]] + [[str(c) for c in row] for row in rows]
    widths = [max(len(row[i]) for row in cells) for i in range(len(headers))]

    def line(row):
        return "  ".join(c.ljust(w) if i == 0 else c.rjust(w)
                         for i, (c, w) in enumerate(zip(row, widths)))

    rule = "-" * len(line(cells[0]))
    return "\n".join([title, rule, line(cells[0]), rule] + [line(r) for r in cells[1:]] + [rule])


def micros(seconds):
    if seconds is None:
        return "-"
    us = seconds * 1e6
    if us >= 10_000:
        return f"{us:,.0f}"
    if us >= 100:
        return f"{us:.0f}"
    if us >= 10:
        return f"{us:.1f}"
    return f"{us:.2f}"


def ratio(value):
    if value is None:
        return "-"
    return f"{value:.1f}x" if value >= 10 else f"{value:.2f}x"


def error(value):
    return "-" if value is None else f"{value:.2e}"


def verdict(value, target):
    if value is None:
        return "not measured"
    return "met" if value >= target else "MISSED"
