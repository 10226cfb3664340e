"""Finite-difference settings (FdmConfig, TransformConfig) and what they do to prices."""

import math
from datetime import timedelta

import pytest

import vyr
from conftest import (PanicException, VALUATION, black_scholes, config_with, make_frame,
                      make_option, utc)

Policy = vyr.InstrumentPolicy
Transform = vyr.TransformConfig


def grid(*args, **kwargs):
    """A configuration that sends every option to the grid with the given settings."""
    return config_with(Policy().fdm(vyr.FdmConfig(*args, **kwargs)))


def result_of(option, frame, config):
    result = option.valuation().market(frame).at(VALUATION).config(config).compute()
    greeks = result.greeks
    return result.price, greeks.delta, greeks.gamma, greeks.theta, greeks.vega, greeks.rho


EUROPEAN_CALL = make_option(is_call=True)
AMERICAN_PUT = make_option(is_call=False, american=True)
DIVIDENDS = vyr.DividendSchedule([(utc(2025, 6, 1), 2.0)])


@pytest.mark.parametrize(
    "call,error,text",
    [
        (lambda: vyr.FdmConfig(grid_nodes="101"), TypeError,
         "argument 'grid_nodes': 'str' object cannot be interpreted as an integer"),
        (lambda: vyr.FdmConfig(10, -1), OverflowError, None),
        (lambda: vyr.FdmConfig(grid_std_devs="4"), TypeError,
         "argument 'grid_std_devs': must be real number, not str"),
        (lambda: vyr.FdmConfig(transform=5), TypeError,
         "argument 'transform': 'int' object cannot be cast as 'TransformConfig'"),
        (lambda: vyr.FdmConfig(transform=vyr.FdmConfig()), TypeError,
         "argument 'transform': 'FdmConfig' object cannot be cast as 'TransformConfig'"),
        # Arguments are converted in parameter order.
        (lambda: vyr.FdmConfig(-1, "x", "y", 5), OverflowError, None),
        (lambda: vyr.FdmConfig(1, 2, "y", 5), TypeError,
         "argument 'grid_std_devs': must be real number, not str"),
        (lambda: Transform.sinh("0.3"), TypeError,
         "argument 'alpha': must be real number, not str"),
        (lambda: Transform.sinh(), TypeError,
         "TransformConfig.sinh() missing 1 required positional argument: 'alpha'"),
        (lambda: Transform.log(0.3), TypeError,
         "TransformConfig.log() takes 0 positional arguments but 1 was given"),
        (lambda: Policy().fdm(Transform.log()), TypeError,
         "argument 'fdm_config': 'TransformConfig' object cannot be cast as 'FdmConfig'"),
    ],
)
def test_argument_errors(call, error, text):
    with pytest.raises(error) as info:
        call()
    assert type(info.value) is error
    if text is not None:
        assert str(info.value) == text


@pytest.mark.parametrize("value", [0.0, -1.0, float("nan"), float("inf")])
def test_no_range_checks(value):
    vyr.FdmConfig(0, 0, value, Transform.sinh(value))
    vyr.FdmConfig(grid_std_devs=value, transform=Transform.log())


def test_text_signatures():
    assert Transform.sinh.__text_signature__ == "(alpha)"
    assert Transform.log.__text_signature__ == "()"


@pytest.mark.parametrize("option", [EUROPEAN_CALL, AMERICAN_PUT])
def test_every_way_of_asking_for_the_defaults_prices_the_same(option):
    frame = make_frame(dividends=DIVIDENDS)
    configs = [
        config_with(Policy().fdm()),
        config_with(Policy().fdm(None)),
        config_with(Policy().fdm(fdm_config=None)),
        grid(),
        grid(None, None, None, None),
        grid(10, 101, 4.0, Transform.sinh(0.3)),
        grid(time_steps=10, grid_nodes=100, grid_std_devs=4, transform=Transform.sinh(0.3)),
    ]
    results = [result_of(option, frame, config) for config in configs]
    assert all(result == results[0] for result in results)
    assert results[0][4:] == (None, None)
    if option is AMERICAN_PUT:
        # The initial configuration sends American options to the same defaults.
        assert result_of(option, frame, None) == results[0]


@pytest.mark.parametrize("given,used", [(100, 101), (2, 3), (200, 201)])
def test_node_counts_are_made_odd(given, used):
    frame = make_frame()
    assert result_of(EUROPEAN_CALL, frame, grid(grid_nodes=given)) == \
        result_of(EUROPEAN_CALL, frame, grid(grid_nodes=used))


@pytest.mark.parametrize("nodes", [0, 1])
@pytest.mark.parametrize("option", [EUROPEAN_CALL, AMERICAN_PUT])
def test_fewer_than_three_nodes_panic(nodes, option):
    builder = option.valuation().market(make_frame()).at(VALUATION).config(grid(grid_nodes=nodes))
    with pytest.raises(PanicException,
                       match="^TridiagonalOperator requires at least 3 elements, found 1$"):
        builder.compute()
    with pytest.raises(PanicException,
                       match="^TridiagonalOperator requires at least 3 elements, found 1$"):
        option.implied_vol().market(make_frame()).at(VALUATION).config(
            grid(grid_nodes=nodes)).price(10.0).calculate()


def test_a_grid_too_large_for_memory_raises_memory_error():
    with pytest.raises(MemoryError):
        result_of(EUROPEAN_CALL, make_frame(), grid(grid_nodes=2**40))


def test_zero_time_steps_gives_one_step_per_interval():
    frame = make_frame()
    assert result_of(EUROPEAN_CALL, frame, grid(time_steps=0)) == \
        result_of(EUROPEAN_CALL, frame, grid(time_steps=1))
    assert result_of(EUROPEAN_CALL, frame, grid(time_steps=0)) != \
        result_of(EUROPEAN_CALL, frame, grid(time_steps=2))


@pytest.mark.parametrize(
    "changed",
    [dict(time_steps=20), dict(grid_nodes=151), dict(grid_std_devs=5.0),
     dict(transform=Transform.sinh(0.5)), dict(transform=Transform.log())],
)
def test_each_setting_reaches_the_engine(changed):
    frame = make_frame(dividends=DIVIDENDS)
    for option in (EUROPEAN_CALL, AMERICAN_PUT):
        assert result_of(option, frame, grid(**changed))[0] != result_of(option, frame, grid())[0]


@pytest.mark.parametrize("spot", [80.0, 100.0, 120.0])
@pytest.mark.parametrize("is_call", [True, False])
@pytest.mark.parametrize("q", [None, 0.03])
def test_european_grid_prices_approach_the_closed_form(spot, is_call, q):
    frame = make_frame(spot=spot, q=q)
    option = make_option(is_call=is_call)
    exact = black_scholes(is_call, spot, 100.0, 1.0, 0.2, 0.05, q or 0.0)["price"]
    coarse = result_of(option, frame, grid())[0]
    assert coarse == pytest.approx(exact, rel=2e-3 if spot == 100.0 else 1e-2)
    for transform in (Transform.sinh(0.3), Transform.log()):
        fine = result_of(option, frame, grid(400, 801, transform=transform))[0]
        assert fine == pytest.approx(exact, rel=1e-4)


@pytest.mark.parametrize("is_call,spot", [(True, 400.0), (False, 10.0)])
def test_a_spot_far_outside_the_strike_centred_grid(is_call, spot):
    short = make_option(is_call=is_call, expiry=utc(2025, 2, 1))
    exact = black_scholes(is_call, spot, 100.0, 31 / 365, 0.2, 0.05)["price"]
    assert result_of(short, make_frame(spot=spot), grid())[0] == pytest.approx(exact, rel=1e-3)


@pytest.mark.parametrize("spot", [100.0, 150.0, 200.0])
def test_american_call_with_a_high_yield_is_worth_at_least_its_intrinsic_value(spot):
    frame = make_frame(spot=spot, r=0.05, q=0.10)
    american = result_of(make_option(is_call=True, american=True), frame, None)[0]
    european = black_scholes(True, spot, 100.0, 1.0, 0.2, 0.05, 0.10)["price"]
    assert american >= spot - 100.0 - 0.01
    assert american >= european - 0.01


def test_deep_in_the_money_american_put_is_exercised():
    price, delta, gamma, theta, vega, rho = result_of(AMERICAN_PUT, make_frame(spot=50.0), None)
    assert price == pytest.approx(50.0, abs=1e-6)
    assert delta == pytest.approx(-1.0, abs=1e-6)
    assert theta == pytest.approx(0.0, abs=1e-6)
    assert (vega, rho) == (None, None)


def test_nan_inputs_propagate_without_failing():
    for frame in (make_frame(sigma=float("nan")), make_frame(spot=float("nan"))):
        assert math.isnan(result_of(EUROPEAN_CALL, frame, grid())[0])
    infinite_dividend = vyr.DividendSchedule([(utc(2025, 6, 1), float("inf"))])
    result_of(EUROPEAN_CALL, make_frame(dividends=infinite_dividend), grid())


def test_american_put_whose_yield_exceeds_its_rate_converges():
    # Spot on the edge of the plain grid, exercise boundary between 17 and 25: the true value
    # is 75.18859 (a fixed-point solution of the boundary, and a 3,000-step tree).
    two_years = make_option(is_call=False, american=True, expiry=utc(2027, 1, 1))
    frame = make_frame(spot=25.0, r=0.02, sigma=0.25, q=0.08)
    assert result_of(two_years, frame, grid(800, 801))[0] == pytest.approx(75.18859, abs=1e-3)
    assert result_of(two_years, frame, None)[0] == pytest.approx(75.18859, abs=1e-2)


@pytest.mark.parametrize("american,r,q", [(False, 0.05, 0.0), (False, 0.02, 0.05),
                                          (True, 0.05, -0.02), (True, 0.05, 0.0)])
def test_theta_on_the_grid_edge(american, r, q):
    # The spot on the default grid's upper edge; the reference grid reaches well beyond it.
    call = make_option(is_call=True, american=american)
    spot = 100.0 * math.exp(4.0 * 0.25)
    frame = make_frame(spot=spot, r=r, sigma=0.25, q=q)
    theta = result_of(call, frame, None if american else grid())[3]
    reference = result_of(call, frame, grid(800, 1601, 8.0))[3]
    assert theta == pytest.approx(reference, rel=1e-2)


def days_after(days):
    return VALUATION + timedelta(days=days)


def market_of(spot, r, q, vol):
    return make_frame(spot=spot, r=r, sigma=vol, q=q)


# Prices that no option can have, each once returned by the grid: (is_call, american, spot, r,
# q, vol, days, grid, low, high).
SOUND_PRICES = [
    (False, True, 100.0, 0.0, 0.2, 0.1, 7300, (640, 801), 98.168 - 1e-3, 98.168 + 1e-3),
    (True, True, 105.0, 0.0, 0.5, 0.01, 7300, (640, 801), 5.0, 5.0 + 1e-9),
    (True, True, 130.0, 0.1, 10.0, 0.25, 365, None, 30.0, 30.0 + 1e-9),
    (True, False, 80.0, 0.0, 0.5, 0.01, 7300, None, 0.0, 1e-12),
    (True, True, 100.0, 0.01, 0.05, 100.0, 365, (640, 801), 99.95, 100.0),
    (True, False, 100.0, 0.01, 0.05, 100.0, 365, (640, 801), 95.1229 - 1e-3, 95.1229 + 1e-3),
    (True, False, 45.0, 0.05, 0.0, 0.2, 365, (640, 801), 2.826e-4 - 1e-6, 2.826e-4 + 1e-6),
    (True, False, 44.9, 0.05, 0.0, 0.2, 365, (640, 801), 2.695e-4 - 1e-6, 2.695e-4 + 1e-6),
    # Exercise boundaries in a layer of a fraction of a percent at the strike: a yield of 1000 %
    # (true value 0.115938), and a put at σ = 1 % with r = 20 % (true value 0.0091959).
    (True, True, 100.0, 0.1, 10.0, 0.25, 365, (200, 401), 0.115938 * (1 - 1e-3),
     0.115938 * (1 + 1e-3)),
    (True, True, 100.0, 0.1, 10.0, 0.25, 365, (640, 801), 0.115938 * (1 - 1e-3),
     0.115938 * (1 + 1e-3)),
    (False, True, 100.0, 0.2, 0.0, 0.01, 365, (640, 801), 0.0091959 - 1e-5, 0.0091959 + 1e-5),
    # A call whose log spot drifts 40 standard deviations toward its exercise boundary (true
    # value 111.738): its European part comes from the forward.
    (True, True, 149.4, 0.1289, 0.0114, 0.0116, 5782, (640, 801), 111.738 * (1 - 1e-3),
     111.738 * (1 + 1e-3)),
]


@pytest.mark.parametrize("is_call,american,spot,r,q,vol,days,settings,low,high", SOUND_PRICES)
def test_grid_prices_are_sound(is_call, american, spot, r, q, vol, days, settings, low, high):
    option = make_option(is_call=is_call, american=american, expiry=days_after(days))
    config = grid(*settings) if settings else config_with(Policy().fdm())
    price = result_of(option, market_of(spot, r, q, vol), config)[0]
    assert low <= price <= high


def test_an_american_value_never_reads_below_its_exercise_value():
    put = make_option(is_call=False, american=True, expiry=utc(2025, 4, 2, 6))  # 91.25 days
    price, delta, gamma, *_ = result_of(put, market_of(95.0, 0.05, 0.0, 0.1), None)
    assert price >= 5.0
    if price == 5.0:
        assert (delta, gamma) == (-1.0, 0.0)


@pytest.mark.parametrize("frame,config,text", [
    (make_frame(sigma=0.0), None, "The finite-difference grid needs a positive volatility, got 0"),
    (make_frame(spot=-5.0), None, "The finite-difference grid needs a positive spot, got -5"),
    (make_frame(sigma=-0.25), None,
     "The finite-difference grid needs a positive volatility, got -0.25"),
    (make_frame(), grid(transform=Transform.sinh(-1.0)),
     "The sinh transform of the finite-difference grid needs a positive alpha, got -1"),
])
def test_inputs_the_grid_cannot_price_are_refused(frame, config, text):
    with pytest.raises(ValueError) as info:
        result_of(AMERICAN_PUT, frame, config)
    assert str(info.value) == text
