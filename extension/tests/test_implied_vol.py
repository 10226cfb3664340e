"""The implied-volatility builder: round trips on both routes, the bracket, messages and order."""

import re
from datetime import date, datetime, timedelta, timezone

import pytest

import vyr
from conftest import (EXPIRY, VALUATION, PanicException, config_with, make_frame, make_option,
                      shortest, utc)

Policy = vyr.InstrumentPolicy
ACT365 = vyr.DayCountConvention.ACT_365_FIXED
GRID = config_with(Policy().fdm())
COARSE = config_with(Policy().fdm(vyr.FdmConfig(time_steps=2, grid_nodes=11)))
EUROPEAN_CALL = make_option()
AMERICAN_PUT = make_option(is_call=False, american=True)
NO_MARKET = "Market data is required for implied volatility solving."
NO_TARGET = "Target price must be set before calling solve()."


def solver(option=EUROPEAN_CALL, frame=None, config=None, at=VALUATION):
    return option.implied_vol().market(frame or make_frame()).at(at).config(config)


def price_at(sigma, option=EUROPEAN_CALL, config=None, **market):
    """The routed price at volatility `sigma`, through a valuation."""
    frame = make_frame(sigma=sigma, **market)
    return option.valuation().market(frame).at(VALUATION).config(config).compute().price


def not_bracketed(f_low, f_high):
    return (f"Root is not bracketed. f(low) = {shortest(f_low)}, f(high) = {shortest(f_high)}. "
            "Target price might be out of bounds.")


@pytest.mark.parametrize(
    "option,config,market",
    [
        (EUROPEAN_CALL, None, {}),
        (make_option(is_call=False), None, dict(spot=90.0, q=0.02)),
        (make_option(strike=130.0), None, dict(spot=100.0)),
        (make_option(is_call=False, strike=70.0), None, dict(spot=100.0)),
        (AMERICAN_PUT, None, {}),
        (AMERICAN_PUT, None, dict(spot=110.0, q=0.01)),
        (EUROPEAN_CALL, GRID, {}),
        (make_option(is_call=True, american=True), COARSE, dict(q=0.04)),
    ],
)
@pytest.mark.parametrize("sigma", [0.15, 0.3, 1.2])
def test_round_trip(option, config, market, sigma):
    target = price_at(sigma, option, config, **market)
    # The surface's own volatility plays no part in the search.
    frame = make_frame(sigma=float("nan"), **market)
    found = solver(option, frame, config).price(target).calculate()
    assert type(found) is float
    assert abs(price_at(found, option, config, **market) - target) < 1e-4 or \
        abs(found - sigma) < 1e-4


@pytest.mark.parametrize("option,config", [(EUROPEAN_CALL, None), (AMERICAN_PUT, None),
                                           (EUROPEAN_CALL, COARSE)])
@pytest.mark.parametrize("end", [0.1, 5.0])
@pytest.mark.parametrize("offset", [0.0, 0.00009, -0.00009])
def test_bracket_ends_are_returned_exactly(option, config, end, offset):
    target = price_at(end, option, config) + offset
    assert solver(option, config=config).price(target).calculate() == end


@pytest.mark.parametrize("option,config", [(EUROPEAN_CALL, None), (AMERICAN_PUT, None),
                                           (make_option(is_call=False), COARSE)])
# Huge targets give differences that Python would print with an exponent; messages never do.
@pytest.mark.parametrize("target", [-1.0, 0.0, 1.0, 150.0, 1e6, 1e17, -1.5e22, float("inf"),
                                    -float("inf")])
def test_root_not_bracketed(option, config, target):
    low, high = price_at(0.1, option, config), price_at(5.0, option, config)
    if low - 1e-4 < target < high + 1e-4:
        pytest.skip("inside the bracket for this option")
    text = not_bracketed(low - target, high - target)
    with pytest.raises(ValueError, match=f"^{re.escape(text)}$"):
        solver(option, config=config).price(target).calculate()


def test_nan_target_or_spot_is_not_bracketed():
    nan = float("nan")
    with pytest.raises(ValueError, match=f"^{re.escape(not_bracketed(nan, nan))}$"):
        solver().price(nan).calculate()
    with pytest.raises(ValueError, match=f"^{re.escape(not_bracketed(nan, nan))}$"):
        solver(frame=make_frame(spot=nan)).price(10.0).calculate()


def test_american_option_on_the_analytic_route_with_yield_above_rate():
    analytic = config_with(Policy().american().analytic())
    american_call = make_option(is_call=True, american=True)
    market = dict(r=0.01, q=0.03)
    target = price_at(0.25, EUROPEAN_CALL, **market)
    found = solver(american_call, make_frame(**market), analytic).price(target).calculate()
    assert found == pytest.approx(0.25, abs=1e-4)
    with pytest.raises(PanicException):
        american_call.valuation().market(make_frame(**market)).at(VALUATION).config(
            analytic).compute()


@pytest.mark.parametrize(
    "frame,target,error,text",
    [
        (None, None, ValueError, NO_MARKET),
        (None, 10.0, ValueError, NO_MARKET),
        (vyr.OptionMarketFrame(100.0, vyr.RateCurve.continuous(0.05, ACT365),
                               vyr.VolSurface.flat(0.2, vyr.DayCountConvention.ACT_360)),
         None, ValueError,
         "Mismatched day count conventions: Rates use Actual365Fixed, while Vol uses Actual360. "
         "They must be identical."),
        (vyr.OptionMarketFrame(100.0, vyr.RateCurve.interpolated(
            date(2024, 1, 1), [vyr.Tenor.years(1), vyr.Tenor.years(2)],
            [vyr.InterestRate(0.05, vyr.Compounding.continuous(), vyr.DayCountConvention.ACT_360),
             vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365)]),
            vyr.VolSurface.flat(0.2, ACT365)),
         None, ValueError,
         "Mismatched day count conventions: Rates use Actual360, while Vol uses Actual365Fixed. "
         "They must be identical."),
        (make_frame(), None, ValueError, NO_TARGET),
    ],
)
def test_checks_in_order(frame, target, error, text):
    builder = EUROPEAN_CALL.implied_vol().at(VALUATION).config(vyr.Config())
    if frame is not None:
        builder.market(frame)
    if target is not None:
        builder.price(target)
    with pytest.raises(error) as info:
        builder.calculate()
    assert type(info.value) is error and str(info.value) == text


def test_the_grid_never_runs_at_expiry():
    with pytest.raises(PanicException, match="^Solver never ran$"):
        solver(AMERICAN_PUT, at=EXPIRY).price(5.0).calculate()


@pytest.mark.parametrize(
    "call,error,text",
    [
        (lambda b: b.price("x"), TypeError, "argument 'target': must be real number, not str"),
        (lambda b: b.price(), TypeError,
         "ImpliedVolBuilder.price() missing 1 required positional argument: 'target'"),
        (lambda b: b.at(datetime(2025, 1, 1)), ValueError,
         "Evaluation time must have a timezone specified (e.g. New York or UTC)"),
        (lambda b: b.at(date(2025, 1, 1)), TypeError,
         "argument 'valuation_time': 'date' object cannot be cast as 'datetime'"),
        (lambda b: b.market(make_frame().rate_curve), TypeError,
         "argument 'market_frame': 'RateCurve' object cannot be cast as 'OptionMarketFrame'"),
        (lambda b: b.config(5), TypeError,
         "argument 'config': 'int' object cannot be cast as 'Config'"),
    ],
)
def test_a_failed_setting_leaves_the_builder_as_it_was(call, error, text):
    target = price_at(0.3, AMERICAN_PUT, q=0.01)
    builder = solver(AMERICAN_PUT, make_frame(q=0.01), COARSE, utc(2025, 1, 1)).price(target)
    expected = builder.calculate()
    with pytest.raises(error) as info:
        call(builder)
    assert type(info.value) is error and str(info.value) == text
    assert builder.calculate() == expected


def test_a_builder_being_set_cannot_calculate():
    builder = solver()
    seen = []

    class Reentrant:
        def __float__(self):
            try:
                builder.calculate()
            except RuntimeError as error:
                seen.append(str(error))
            return price_at(0.3)

    builder.price(Reentrant())
    assert seen == ["Already mutably borrowed"]
    assert builder.calculate() == pytest.approx(0.3, abs=1e-4)


def test_unrepresentable_valuation_time():
    class Far(datetime):
        def timestamp(self):
            return -1e300

    with pytest.raises(ValueError, match="^Invalid timestamp$"):
        EUROPEAN_CALL.implied_vol().at(Far(2025, 1, 1, tzinfo=timezone.utc))


def test_setters_chain_and_target_can_be_replaced():
    builder = EUROPEAN_CALL.implied_vol()
    frame = make_frame()
    assert builder.market(frame) is builder and builder.at(VALUATION) is builder
    assert builder.config(None) is builder and builder.at() is builder
    assert builder.price(-1.0) is builder
    builder.at(VALUATION)
    builder.price(price_at(0.4))
    assert builder.calculate() == pytest.approx(0.4, abs=1e-4)
    builder.price(target=price_at(0.25))
    assert builder.calculate() == pytest.approx(0.25, abs=1e-4)


def test_frame_and_config_edits_are_seen():
    frame, config = make_frame(), vyr.Config()
    target = price_at(0.3, config=COARSE)
    builder = solver(frame=frame, config=config).price(target)
    analytic = builder.calculate()
    assert abs(analytic - 0.3) > 1e-3
    config.add_policy(Policy().fdm(vyr.FdmConfig(time_steps=2, grid_nodes=11)))
    assert builder.calculate() == pytest.approx(0.3, abs=1e-4)
    builder.config(None)
    assert builder.calculate() == analytic
    frame.spot = 95.0
    moved = builder.calculate()
    assert moved == solver(frame=make_frame(spot=95.0)).price(target).calculate()
    assert moved > analytic
    del frame
    assert builder.calculate() == moved


def test_valuation_time_from_the_clock():
    expiry = datetime.now(timezone.utc) + timedelta(days=365)
    option = make_option(expiry=expiry)
    target = option.valuation().market(make_frame(sigma=0.35)).compute().price
    builder = option.implied_vol().market(make_frame()).at(VALUATION).at(None).price(target)
    assert builder.calculate() == pytest.approx(0.35, abs=1e-4)


def test_the_builder_class():
    builder = EUROPEAN_CALL.implied_vol()
    cls = type(builder)
    assert cls.__name__ == "ImpliedVolBuilder" and cls.__module__ == "builtins"
    assert not hasattr(vyr, "ImpliedVolBuilder")
    assert type(make_option(is_call=False).implied_vol()) is cls
    assert cls.__text_signature__ == "(instrument)"
    assert cls.calculate.__text_signature__ == "($self)"
    assert cls.price.__text_signature__ == "($self, target)"
    assert cls.at.__text_signature__ == "($self, valuation_time=None)"
    another = cls(AMERICAN_PUT)
    assert type(another) is cls and another is not builder
    target = price_at(0.3, AMERICAN_PUT)
    assert another.market(make_frame()).at(VALUATION).price(target).calculate() == \
        pytest.approx(0.3, abs=1e-3)
    with pytest.raises(TypeError, match="^argument 'instrument': 'str' object cannot be cast as "
                                        "'VanillaOption'$"):
        cls("x")
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})


def test_implied_vol_reference_counts(leaks):
    option, frame, config = make_option(is_call=False, american=True), make_frame(), vyr.Config()
    target = price_at(0.3, option)
    builder = option.implied_vol()
    naive = datetime(2025, 1, 1)

    def run():
        builder.market(frame).at(VALUATION).config(config).price(target).calculate()
        EUROPEAN_CALL.implied_vol().market(frame).at(VALUATION).price(target).calculate()
        with pytest.raises(ValueError):
            builder.price(-1.0).calculate()
        with pytest.raises(ValueError):
            option.implied_vol().calculate()
        with pytest.raises(ValueError):
            builder.at(naive)
        with pytest.raises(PanicException):
            builder.at(EXPIRY).price(1.0).calculate()

    leaks.check(run, option, frame, config, target, builder, naive, VALUATION, repeat=20)
