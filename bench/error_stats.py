"""Error statistics of a method against a truth, and the tolerance the sweeps judge by.

A value is within tolerance of its truth when it is off by at most `rel` of the truth or by at
most `abs_`, whichever is looser. The excess of an error is its size over that allowance, so an
excess above 1 is outside the tolerance and the largest excesses are the worst cases. A value
that is not finite is never within tolerance and its excess is infinite.
"""

import math

REL = 1e-3
ABS = 1e-5


def allowance(truth, rel=REL, abs_=ABS):
    return max(rel * abs(truth), abs_)


def excess(value, truth, rel=REL, abs_=ABS):
    if not math.isfinite(value):
        return math.inf
    return abs(value - truth) / allowance(truth, rel, abs_)


def within(value, truth, rel=REL, abs_=ABS):
    return excess(value, truth, rel, abs_) <= 1.0


def rmse(errors):
    errors = list(errors)
    return math.sqrt(sum(e * e for e in errors) / len(errors)) if errors else math.nan


def max_abs(errors):
    return max((abs(e) for e in errors), default=math.nan)


def summary(values, truths, off_by=1e-3):
    """RMSE, largest absolute error, the count off by more than `off_by` and the count of
    values that are not finite (those enter RMSE and max as NaN)."""
    errors = [v - t for v, t in zip(values, truths)]
    non_finite = sum(not math.isfinite(v) for v in values)
    return {"rmse": rmse(errors), "max_abs": max_abs(errors) if not non_finite else math.nan,
            "over": sum(not abs(e) <= off_by for e in errors), "off_by": off_by,
            "non_finite": non_finite, "count": len(errors)}


def worst(indices, key, count=5):
    """The `count` indices with the largest key, largest first (ties keep their order)."""
    return sorted(indices, key=lambda k: -key(k))[:count]
