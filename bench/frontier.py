"""Accuracy-speed frontiers and the time each library needs at a given accuracy.

A point is (seconds per option, error). A library's frontier is the set of its points that no
other point of the same library beats on both time and error, ordered from cheapest to most
accurate. The time a library needs for an accuracy level is read off its frontier by
interpolating log-time linearly in log-error between the two frontier points around the level.
A level coarser than the library's cheapest point costs that cheapest time (it may be reachable
for less, so the figure is conservative); a level finer than its most accurate point is not
reached.
"""

import math
from dataclasses import dataclass, field


@dataclass(frozen=True)
class Point:
    seconds: float
    error: float
    label: str = field(default="", compare=False)


def pareto(points):
    """Non-dominated points, by increasing time and strictly decreasing error."""
    ordered = sorted(points, key=lambda p: (p.seconds, p.error))
    front = []
    for point in ordered:
        if not math.isfinite(point.error):
            continue
        if not front or point.error < front[-1].error:
            front.append(point)
    return front


def seconds_at(front, level):
    """Seconds per option needed for an error of at most `level`, or None when not reached."""
    if not front or level < front[-1].error:
        return None
    if level >= front[0].error:
        return front[0].seconds
    for coarse, fine in zip(front, front[1:]):
        if coarse.error >= level >= fine.error:
            if level == fine.error or coarse.error == fine.error:
                return fine.seconds
            share = math.log(coarse.error / level) / math.log(coarse.error / fine.error)
            return math.exp(math.log(coarse.seconds)
                            + share * math.log(fine.seconds / coarse.seconds))
    return None  # unreachable: the loop covers [front[-1].error, front[0].error]


def levels(front_a, front_b, count=8):
    """Accuracy levels that both frontiers reach, log-spaced from the coarser of the two cheapest
    errors down to the coarser of the two best errors."""
    if not front_a or not front_b:
        return []
    finest = max(front_a[-1].error, front_b[-1].error)
    coarsest = max(front_a[0].error, front_b[0].error)
    if finest <= 0.0 or coarsest <= finest or count < 2:
        return [coarsest]
    step = math.log(coarsest / finest) / (count - 1)
    # The ends are set exactly: a rounded-down last level would lie beyond a frontier's reach.
    return [coarsest] + [coarsest * math.exp(-k * step) for k in range(1, count - 1)] + [finest]


def speedups(front_fast, front_slow, accuracy_levels):
    """Rows (level, seconds of the first library, seconds of the second, ratio second/first)."""
    rows = []
    for level in accuracy_levels:
        fast = seconds_at(front_fast, level)
        slow = seconds_at(front_slow, level)
        ratio = slow / fast if fast and slow else None
        rows.append((level, fast, slow, ratio))
    return rows


def rms(errors):
    return math.sqrt(sum(e * e for e in errors) / len(errors)) if errors else float("nan")
