import pytest

import binomial

# (spot, strike, r, q, sigma, years) of cases where early exercise is worth nothing, so the
# American value is the European closed form.
NO_EXERCISE = [
    (100.0, 100.0, 0.05, 0.0, 0.25, 1.0, True),   # call without yield
    (80.0, 100.0, 0.08, 0.0, 0.5, 3.0, True),
    (120.0, 100.0, 0.0, 0.04, 0.25, 1.0, False),  # put at a zero rate
    (60.0, 100.0, 0.0, 0.5, 0.1, 2.0, False),     # a yield the plain tree cannot take
]


@pytest.mark.parametrize("drift", [False, True])
@pytest.mark.parametrize("case", NO_EXERCISE)
def test_the_tree_converges_to_the_closed_form_when_exercise_is_worthless(case, drift):
    spot, strike, r, q, sigma, years, is_call = case
    exact = float(binomial.black_scholes(spot, strike, r, q, sigma, years, is_call))
    try:
        value = binomial.american(spot, strike, r, q, sigma, years, is_call, 2000, drift)
    except ValueError:
        assert not drift  # only the plain tree may lack a probability
        return
    assert value == pytest.approx(exact, abs=2e-4)


def test_extrapolation_beats_the_finer_tree():
    exact = float(binomial.black_scholes(100.0, 100.0, 0.05, 0.0, 0.3, 1.0, True))
    fine = binomial.smoothed_tree(100.0, 100.0, 0.05, 0.0, 0.3, 1.0, True, 1000)
    extrapolated = binomial.american(100.0, 100.0, 0.05, 0.0, 0.3, 1.0, True, 1000)
    assert abs(extrapolated - exact) < 0.2 * abs(fine - exact)


def test_the_put_is_worth_its_early_exercise():
    european = float(binomial.black_scholes(80.0, 100.0, 0.08, 0.0, 0.25, 2.0, False))
    american = binomial.american(80.0, 100.0, 0.08, 0.0, 0.25, 2.0, False, 2000)
    assert american > max(european, 20.0) + 0.1


@pytest.mark.parametrize("arguments, message", [
    ((100.0, 100.0, 0.01, 0.05, 100.0, 1.0, True, 400), "floating-point range"),
    ((100.0, 100.0, 0.05, 0.0, 0.2, 1.0, True, 1), "at least two steps"),
])
def test_trees_that_cannot_be_built_say_why(arguments, message):
    with pytest.raises(ValueError, match=message):
        binomial.smoothed_tree(*arguments)


def test_the_drifted_tree_takes_a_yield_the_plain_tree_cannot():
    # A call 5 in the money with a 50 % yield and 1 % volatility: exercised at once.
    arguments = (105.0, 100.0, 0.0, 0.5, 0.01, 20.0, True, 400)
    with pytest.raises(ValueError, match="no risk-neutral tree"):
        binomial.smoothed_tree(*arguments)
    assert binomial.smoothed_tree(*arguments, drift=True) == pytest.approx(5.0, abs=1e-9)
