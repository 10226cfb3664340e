"""No-arbitrage bounds of vanilla values and the kinds of violation the bounds sweep counts.

Every value is at least 0; an American value is at least its intrinsic value; a European call is
at most S·e^(-qT) and a European put at most K·e^(-rT); an American put is at most K and an
American call at most S. Lower bounds allow a round-off of 1e-12·K. Upper bounds allow 1e-9 of
the bound and the same 1e-12·K, so that a bound as small as S·e^(-300) does not count round-off
as a violation.
"""

import math

ROUND_OFF = 1e-12  # times the strike
UPPER_REL = 1e-9

NEGATIVE = "negative price"
BELOW_INTRINSIC = "American below intrinsic"
ABOVE_CALL_FORWARD = "European call above S·e^(-qT)"
ABOVE_PUT_FORWARD = "European put above K·e^(-rT)"
ABOVE_STRIKE = "American put above K"
ABOVE_SPOT = "American call above S"
KINDS = (NEGATIVE, BELOW_INTRINSIC, ABOVE_CALL_FORWARD, ABOVE_PUT_FORWARD, ABOVE_STRIKE,
         ABOVE_SPOT)


def intrinsic(case):
    return max(case.spot - case.strike, 0.0) if case.is_call else max(case.strike - case.spot, 0.0)


def upper(case):
    """The upper bound of the case's value, and the kind a value above it violates."""
    if case.is_american:
        return (case.spot, ABOVE_SPOT) if case.is_call else (case.strike, ABOVE_STRIKE)
    if case.is_call:
        return case.spot * math.exp(-case.q * case.years), ABOVE_CALL_FORWARD
    return case.strike * math.exp(-case.r * case.years), ABOVE_PUT_FORWARD


def violations(case, value):
    """The kinds of bound a finite value breaks (empty when it keeps them all)."""
    floor = ROUND_OFF * case.strike
    found = []
    if value < -floor:
        found.append(NEGATIVE)
    if case.is_american and value < intrinsic(case) - floor:
        found.append(BELOW_INTRINSIC)
    bound, kind = upper(case)
    if value > bound * (1.0 + UPPER_REL) + floor:
        found.append(kind)
    return found


def inside(case, value):
    return math.isfinite(value) and not violations(case, value)
