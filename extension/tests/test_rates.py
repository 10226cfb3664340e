"""Compounding rules and interest rates as Python sees them."""

import math

import pytest

import vyr
from conftest import PanicException

C = vyr.Compounding
F = vyr.Frequency
ACT365 = vyr.DayCountConvention.ACT_365_FIXED


@pytest.mark.parametrize(
    "compounding,text",
    [
        (C.simple(), "Compounding.Simple"),
        (C.continuous(), "Compounding.Continuous"),
        (C.compounded(F.Monthly), "Compounding.Compounded(Monthly)"),
        (C.compounded(F.SemiAnnual), "Compounding.Compounded(SemiAnnual)"),
        (C.simple_then_compounded(F.Quarterly), "Compounding.SimpleThenCompounded(Quarterly)"),
    ],
)
def test_compounding_repr(compounding, text):
    assert repr(compounding) == text


@pytest.mark.parametrize(
    "compounding,rate,t,expected",
    [
        (C.simple(), 0.05, 2.0, 1 / (0.05 * 2.0 + 1)),
        (C.compounded(F.Quarterly), 0.08, 1.0, 1 / 1.02**4),
        (C.continuous(), 0.05, 1.0, math.exp(-0.05)),
        (C.compounded(F.Annual), -3.0, 0.5, float("nan")),
        (C.simple(), 0.05, -1.0, 1 / 0.95),
    ],
)
def test_discount_factor(compounding, rate, t, expected):
    result = vyr.InterestRate(rate, compounding, ACT365).discount_factor(t)
    if math.isnan(expected):
        assert math.isnan(result)
    else:
        assert result == pytest.approx(expected, rel=1e-15, abs=0)


@pytest.mark.parametrize("compounding", [C.simple(), C.continuous(), C.compounded(F.Monthly)])
def test_discount_factor_at_zero_is_one(compounding):
    assert vyr.InterestRate(0.07, compounding, ACT365).discount_factor(0) == 1.0


def test_simple_then_compounded_is_not_implemented():
    rate = vyr.InterestRate(0.05, C.simple_then_compounded(F.Annual), ACT365)
    with pytest.raises(PanicException, match="^not yet implemented: Implement other logic$"):
        rate.discount_factor(1.0)
    with pytest.raises(PanicException):
        vyr.RateCurve.flat(rate).discount_factor(1.0)


def test_interest_rate_argument_order():
    with pytest.raises(TypeError, match="^argument 'rate': "):
        vyr.InterestRate("x", 5, 6)
    with pytest.raises(TypeError, match="^argument 'compounding': 'int' object cannot be cast"):
        vyr.InterestRate(0.05, 5, 6)
    with pytest.raises(TypeError, match="^argument 'dcc': 'int' object cannot be cast as "
                                        "'DayCountConvention'$"):
        vyr.InterestRate(0.05, C.simple(), 6)
