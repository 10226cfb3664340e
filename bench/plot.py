"""The PNG of the comparison: accuracy-speed frontiers and the cost of growing grids."""

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 - the backend is chosen first

COLOURS = {"vyr": "tab:blue", "QuantLib": "tab:red"}
MARKERS = {10: "s", 100: "^", 1000: "o"}


def _frontier_panel(axes, title, sweep):
    for library, points in sweep["points"].items():
        colour = COLOURS[library]
        axes.scatter([p.seconds * 1e6 for p in points], [p.error for p in points], s=14,
                     color=colour, alpha=0.35)
        front = sweep["fronts"][library]
        axes.plot([p.seconds * 1e6 for p in front], [p.error for p in front], "-o", markersize=4,
                  color=colour, label=f"{library} frontier")
        cheapest = front[0]
        axes.annotate(cheapest.label, (cheapest.seconds * 1e6, cheapest.error), fontsize=7,
                      color=colour, textcoords="offset points", xytext=(4, 4))
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("time per option (µs, through Python)")
    axes.set_ylabel("RMS price error")
    axes.set_title(title, fontsize=10)
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize=8)


def _scaling_panel(axes, scaling):
    for library, rows in scaling["rows"].items():
        colour = COLOURS[library]
        for steps in sorted({r["steps"] for r in rows}):
            line = sorted((r for r in rows if r["steps"] == steps), key=lambda r: r["nodes"])
            axes.plot([r["node_steps"] for r in line], [r["seconds"] * 1e6 for r in line],
                      "-", marker=MARKERS.get(steps, "o"), color=colour, markersize=5,
                      alpha=0.8, label=f"{library}, {steps} steps")
        slope = scaling["fits"][library]["slope"]
        xs = [min(r["node_steps"] for r in rows), max(r["node_steps"] for r in rows)]
        axes.plot(xs, [slope * x * 1e6 for x in xs], ":", color=colour,
                  label=f"{library}: {slope * 1e9:.1f} ns per node-step")
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("grid nodes × time steps")
    axes.set_ylabel("time per pricing (µs)")
    axes.set_title("American put: cost of the grid", fontsize=10)
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize=7)


def write(path, american, european, scaling, machine):
    figure, axes = plt.subplots(1, 3, figsize=(17, 5.4))
    _frontier_panel(axes[0], f"American puts ({american['cases']} cases) vs high-precision "
                    "reference", american)
    _frontier_panel(axes[1], f"European calls and puts ({european['cases']} cases) vs closed "
                    "form", european)
    _scaling_panel(axes[2], scaling)
    figure.suptitle(f"vyr vs QuantLib {machine['quantlib']}, one process — {machine['cpu']}",
                    fontsize=11)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)
