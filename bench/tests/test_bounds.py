import math

import pytest

import bounds
from market_cases import Case

K = 100.0
FLOOR = bounds.ROUND_OFF * K


def american(spot, call):
    return Case(spot, 365, 0.05, 0.03, 0.2, is_call=call, is_american=True)


def european(spot, call):
    return Case(spot, 365, 0.05, 0.03, 0.2, is_call=call, is_american=False)


CALL_FORWARD = 120.0 * math.exp(-0.03)
PUT_FORWARD = K * math.exp(-0.05)


@pytest.mark.parametrize("case, value, expected", [
    (european(80.0, False), -FLOOR, []),                           # round-off allowed
    (european(80.0, False), -2 * FLOOR, [bounds.NEGATIVE]),
    (american(80.0, False), 20.0 - FLOOR, []),
    (american(80.0, False), 20.0 - 2 * FLOOR, [bounds.BELOW_INTRINSIC]),
    (american(80.0, False), -1.0, [bounds.NEGATIVE, bounds.BELOW_INTRINSIC]),
    (european(80.0, False), 19.0, []),                             # a European may lie below
    (american(120.0, True), 120.0 * (1 + 1e-9), []),
    (american(120.0, True), 120.0 * (1 + 3e-9), [bounds.ABOVE_SPOT]),
    (american(80.0, False), K * (1 + 3e-9), [bounds.ABOVE_STRIKE]),
    (european(120.0, True), CALL_FORWARD * (1 + 3e-9), [bounds.ABOVE_CALL_FORWARD]),
    (european(120.0, True), 120.0 * 0.99, [bounds.ABOVE_CALL_FORWARD]),  # below S, above S e^-qT
    (european(80.0, False), PUT_FORWARD * (1 + 3e-9), [bounds.ABOVE_PUT_FORWARD]),
    (european(80.0, False), 99.0, [bounds.ABOVE_PUT_FORWARD]),
    (american(80.0, False), 99.0, []),
])
def test_violations_by_kind(case, value, expected):
    assert bounds.violations(case, value) == expected


def test_a_tiny_upper_bound_does_not_count_round_off():
    case = Case(100.0, 10950, 0.0, 10.0, 0.3, is_call=True, is_american=False)
    assert bounds.upper(case)[0] < 1e-100
    assert bounds.violations(case, 0.5 * FLOOR) == []
    assert bounds.violations(case, 2 * FLOOR) == [bounds.ABOVE_CALL_FORWARD]


def test_inside_refuses_values_that_are_not_finite():
    assert bounds.inside(american(80.0, False), 20.5)
    assert not bounds.inside(american(80.0, False), math.nan)
    assert not bounds.inside(american(80.0, False), math.inf)
