import math

import pytest

pytest.importorskip("QuantLib")

import references  # noqa: E402 - only with QuantLib
from market_cases import Case  # noqa: E402

PERPETUAL = [
    Case(100.0, 365, 0.05, 0.0, 0.3),
    Case(100.0, 365, 0.2, 0.0, 0.01),                 # the boundary just below the strike
    Case(90.0, 365, 0.05, 0.08, 0.25),
    Case(100.0, 365, 0.05, 0.08, 0.3, is_call=True),
    Case(80.0, 365, 0.0, 0.5, 0.2, is_call=True),     # r = 0: one root is 0
    Case(100.0, 365, 0.02, 1.78, 59.0, is_call=True),
]


def perpetual_at(case, spot):
    return references.perpetual(Case(spot, case.days, case.r, case.q, case.sigma,
                                     is_call=case.is_call))


@pytest.mark.parametrize("case", PERPETUAL)
def test_the_perpetual_value_is_a_power_of_the_spot_with_the_right_exponent(case):
    # In the continuation region V = A·S^β with ½σ²β(β - 1) + (r - q)β - r = 0.
    spot, other = case.spot, case.spot * (1.0 + 1e-3)
    value, next_value = perpetual_at(case, spot), perpetual_at(case, other)
    intrinsic = max(spot - case.strike, 0.0) if case.is_call else max(case.strike - spot, 0.0)
    assert value > intrinsic
    beta = math.log(next_value / value) / math.log(other / spot)
    assert (beta > 1.0) if case.is_call else (beta < 0.0)
    terms = (0.5 * case.sigma ** 2 * beta * (beta - 1), (case.r - case.q) * beta, -case.r)
    assert abs(sum(terms)) < 1e-7 * sum(abs(t) for t in terms)


@pytest.mark.parametrize("case", [Case(100.0, 365, 0.05, 0.0, 0.3),
                                  Case(100.0, 365, 0.05, 0.08, 0.3, is_call=True)])
def test_the_perpetual_put_and_call_meet_their_exercise_value_with_slope_one(case):
    # Find the exercise boundary by bisection on V = intrinsic, then check the slope there.
    sign = 1.0 if case.is_call else -1.0
    low, high = (case.strike, 10 * case.strike) if case.is_call else (1e-3, case.strike)
    for _ in range(100):
        middle = 0.5 * (low + high)
        exercised = perpetual_at(case, middle) <= sign * (middle - case.strike) + 1e-12
        if exercised == case.is_call:
            high = middle
        else:
            low = middle
    h = 1e-5 * middle
    outside = middle + h if not case.is_call else middle - h
    slope = (perpetual_at(case, outside) - perpetual_at(case, middle)) / (outside - middle)
    assert slope == pytest.approx(sign, abs=1e-3)


def test_the_perpetual_put_with_no_yield_has_the_textbook_boundary():
    case = Case(100.0, 365, 0.05, 0.0, 0.3)
    boundary = case.strike * 2 * case.r / (2 * case.r + case.sigma ** 2)
    beta = -2 * case.r / case.sigma ** 2
    expected = (case.strike - boundary) * (case.spot / boundary) ** beta
    assert references.perpetual(case) == pytest.approx(expected, rel=1e-12)
    assert math.isnan(references.perpetual(Case(100.0, 365, 0.0, 0.05, 0.3)))


def fake(monkeypatch, high, accurate, tree, grid, perpetual=math.nan):
    monkeypatch.setattr(references, "fixed_point",
                        lambda case, scheme: high if scheme == "high precision" else accurate)
    monkeypatch.setattr(references, "perpetual", lambda case: perpetual)
    monkeypatch.setattr(references, "tree", lambda case: tree)
    monkeypatch.setattr(references, "quantlib_grid", lambda case: grid)


PUT = Case(100.0, 365, 0.05, 0.02, 0.3)


@pytest.mark.parametrize("values, source, checked_by, disputed", [
    ((5.0, 5.0001, 9.0, 9.0), references.HIGH_PRECISION, references.ACCURATE, False),
    ((5.0, 5.01, 5.0005, 9.0), references.HIGH_PRECISION, references.TREE, False),
    ((5.0, 5.01, math.nan, 5.0), references.HIGH_PRECISION, references.QUANTLIB_GRID, False),
    ((5.0, 5.01, 5.1, 4.9), references.HIGH_PRECISION, "", True),
    ((math.nan, 5.0, 5.1, 4.9), references.TREE, "", True),       # unusable: not finite
    ((120.0, 120.0, math.nan, 4.9), references.QUANTLIB_GRID, "", True),  # above K
    ((math.nan, math.nan, math.nan, math.nan), "none", "", True),
])
def test_the_truth_takes_the_first_agreeing_reference(monkeypatch, values, source, checked_by,
                                                      disputed):
    fake(monkeypatch, *values)
    truth = references.american_truth(PUT)
    assert (truth.source, truth.checked_by, truth.disputed) == (source, checked_by, disputed)


def test_the_perpetual_value_confirms_and_no_exercise_needs_no_reference(monkeypatch):
    fake(monkeypatch, 5.0, 5.01, 9.0, 9.0, perpetual=5.0001)
    assert references.american_truth(PUT).checked_by == references.PERPETUAL
    zero_rate = Case(100.0, 365, 0.0, 0.02, 0.3)
    truth = references.american_truth(zero_rate)
    assert truth.source.startswith(references.CLOSED_FORM) and not truth.others
