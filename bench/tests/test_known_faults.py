import math

import pytest

pytest.importorskip("QuantLib")

import bounds_sweep  # noqa: E402 - only with QuantLib
from bounds_sweep import Expect, Fixed  # noqa: E402
from market_cases import Case  # noqa: E402

CALL = Case(100.0, 365, 0.1, 10.0, 0.25, is_call=True)


@pytest.mark.parametrize("expect, value, passed", [
    (Expect("value", 0.116, 5e-4), 0.1159, True),     # the stated digits decide
    (Expect("value", 0.116, 5e-4), 0.1154, False),
    (Expect("value", 0.116, 5e-4), math.nan, False),
    (Expect("value", 30.0), 30.02, True),             # 1e-3 relative
    (Expect("value", 30.0), 29.96, False),
    (Expect("at least", 5.0), 5.0 - 1e-11, True),
    (Expect("at least", 5.0), 4.9993, False),
    (Expect("finite"), 0.5, True),
    (Expect("finite"), math.nan, False),
    (Expect("finite"), 101.0, False),                 # finite but above S
])
def test_fixed_verdicts(expect, value, passed):
    assert bounds_sweep.fixed_verdict(Fixed(CALL, ("default",), expect), value)[1] is passed


def test_a_european_fixed_case_is_judged_against_the_closed_form():
    case = Case(45.0, 365, 0.05, 0.0, 0.2, is_call=True, is_american=False)
    truth, passed = bounds_sweep.fixed_verdict(Fixed(case, ("801x640",), Expect("closed form")),
                                               2.83e-4)
    assert truth == pytest.approx(2.8268e-4, rel=1e-4) and passed
    assert not bounds_sweep.fixed_verdict(Fixed(case, ("801x640",), Expect("closed form")),
                                          5.5e-4)[1]
