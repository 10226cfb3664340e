"""Config, InstrumentPolicy, ValuationBuilder, OptionResult and Greeks, end to end."""

import math
import re
from datetime import date, datetime, timedelta, timezone

import pytest

import vyr
from conftest import (EXPIRY, VALUATION, PanicException, black_scholes, config_with, make_frame,
                      make_option, utc)

Policy = vyr.InstrumentPolicy
DCC = vyr.DayCountConvention
ACT365 = DCC.ACT_365_FIXED
CELLS = {"AC": (True, True), "AP": (False, True), "EC": (True, False), "EP": (False, False)}
EVALUATION_NAIVE = "Evaluation time must have a timezone specified (e.g. New York or UTC)"


def builder(option=None, frame=None, config=None, at=VALUATION):
    return (option or make_option()).valuation().market(frame or make_frame()).at(at).config(config)


def fields(result):
    g = result.greeks
    return result.price, g.delta, g.gamma, g.theta, g.vega, g.rho


def route(config, cell):
    """'A' when the cell's result carries vega and rho (closed form), 'F' when it does not."""
    is_call, american = CELLS[cell]
    result = builder(make_option(is_call, american), config=config).compute()
    greeks = result.greeks
    if greeks.vega is None:
        assert greeks.rho is None
        return "F"
    assert type(greeks.vega) is float and type(greeks.rho) is float
    return "A"


FINE = vyr.FdmConfig(time_steps=20, grid_nodes=151)


@pytest.mark.parametrize(
    "policies,expected",
    [
        (None, "FFAA"),
        ([], "FFAA"),
        ([Policy().analytic()], "AAAA"),
        ([Policy().analytic(), Policy().american().put().fdm(FINE)], "AFAA"),
        ([Policy().fdm(), Policy().european().european().call().call().analytic()], "FFAF"),
        ([Policy().fdm(), Policy().european()], "FFAA"),
        ([Policy()], "AAAA"),
        ([Policy().analytic(), Policy().call().put().american().fdm()], "FFAA"),
        ([Policy().analytic(), Policy().european().american().call().fdm()], "FAFA"),
        # Policy A (European, analytic) and policy B (any style, put, grid) in both orders.
        ([Policy().european().analytic(), Policy().put().fdm()], "FFAF"),
        ([Policy().put().fdm(), Policy().european().analytic()], "FFAA"),
    ],
)
def test_routing_per_cell(policies, expected):
    config = None if policies is None else config_with(*policies)
    assert "".join(route(config, cell) for cell in CELLS) == expected


def test_grid_settings_travel_with_the_policy():
    fine = config_with(Policy().american().put().fdm(FINE))
    default = config_with(Policy().american().put().fdm())
    american_put = make_option(is_call=False, american=True)
    assert fields(builder(american_put, config=fine).compute()) != \
        fields(builder(american_put, config=default).compute())
    assert fields(builder(american_put, config=fine).compute()) == fields(
        builder(american_put, config=config_with(Policy().fdm(vyr.FdmConfig(20, 151)))).compute())


def test_builders_chain_in_place():
    policy = Policy()
    assert all(step() is policy for step in (policy.american, policy.european, policy.put,
                                             policy.call, policy.analytic, policy.fdm))
    assert policy.fdm(FINE) is policy and policy.fdm(None) is policy
    config = vyr.Config()
    assert config.add_policy(policy) is config
    request = make_option().valuation()
    frame = make_frame()
    assert request.market(frame) is request
    assert request.at(VALUATION) is request and request.at() is request
    assert request.config(config) is request and request.config() is request


def test_a_policy_is_copied_when_it_is_added():
    policy = Policy().analytic()
    config = config_with(policy)
    policy.fdm()
    assert route(config, "AP") == "A"
    config.add_policy(policy)
    assert route(config, "AP") == "F"


def test_config_edits_after_config_are_seen():
    config = vyr.Config()
    request = builder(config=config)
    assert request.compute().greeks.vega is not None
    config.add_policy(Policy().european().call().fdm())
    assert request.compute().greeks.vega is None
    request.config(None)
    assert request.compute().greeks.vega is not None
    # The builder holds the Config itself.
    request.config(config)
    del config
    assert request.compute().greeks.vega is None


def test_frame_edits_after_market_are_seen():
    frame = make_frame()
    request = builder(frame=frame)
    frame.spot = 120.0
    assert fields(request.compute()) == fields(builder(frame=make_frame(spot=120.0)).compute())
    frame.rate_curve = vyr.RateCurve.continuous(0.03, ACT365)
    frame.vol_surface = vyr.VolSurface.flat(0.3, ACT365)
    frame.borrow_curve = vyr.RateCurve.continuous(0.01, ACT365)
    expected = builder(frame=make_frame(spot=120.0, r=0.03, sigma=0.3, q=0.01)).compute()
    assert fields(request.compute()) == fields(expected)
    # The builder holds the frame itself, and market() replaces it.
    del frame
    assert fields(request.compute()) == fields(expected)
    request.market(make_frame())
    assert fields(request.compute()) == fields(builder().compute())


def test_no_market():
    request = make_option().valuation().config(vyr.Config()).at(VALUATION)
    with pytest.raises(ValueError, match=r"^Market data is required for valuation\.$"):
        request.compute()


MISMATCHES = [
    (vyr.RateCurve.continuous(0.05, ACT365), vyr.VolSurface.flat(0.2, DCC.ACT_360),
     "Mismatched day count conventions: Rates use Actual365Fixed, while Vol uses Actual360. "
     "They must be identical."),
    (vyr.RateCurve.flat(vyr.InterestRate(0.05, vyr.Compounding.simple(), DCC.US_ISDA)),
     vyr.VolSurface.flat(0.2, DCC.GERMAN_ISDA),
     "Mismatched day count conventions: Rates use Thirty360(UnitedStatesIsda), while Vol uses "
     "Thirty360(GermanIsda). They must be identical."),
    (vyr.RateCurve.continuous(0.05, DCC.ISDA), vyr.VolSurface.flat(0.2, ACT365),
     "Mismatched day count conventions: Rates use ActualActual(ISDA), while Vol uses "
     "Actual365Fixed. They must be identical."),
]


@pytest.mark.parametrize("rates,vols,text", MISMATCHES)
def test_mismatched_day_counts(rates, vols, text):
    frame = vyr.OptionMarketFrame(100.0, rates, vols)
    for option in (make_option(), make_option(is_call=False, american=True)):
        with pytest.raises(ValueError, match=f"^{re.escape(text)}$"):
            builder(option, frame).compute()


@pytest.mark.parametrize("dcc", [DCC.ACT_360, DCC.US_ISDA, DCC.ISDA])
def test_matching_day_counts_do_not_change_the_pricing_time(dcc):
    for option in (make_option(), make_option(is_call=False, american=True)):
        assert fields(builder(option, make_frame(dcc=dcc)).compute()) == \
            fields(builder(option).compute())


def test_an_interpolated_curve_prices_at_its_rate_to_the_expiry():
    curve = vyr.RateCurve.interpolated(
        date(2024, 1, 1), [vyr.Tenor.years(1), vyr.Tenor.years(2)],
        [vyr.InterestRate(r, vyr.Compounding.continuous(), ACT365) for r in (0.02, 0.03)])
    r = curve.zero_rate(1.0)
    assert 0 < r < 0.02
    frame = vyr.OptionMarketFrame(100.0, curve, vyr.VolSurface.flat(0.2, ACT365))
    expected = black_scholes(True, 100.0, 100.0, 1.0, 0.2, r, 0.0)
    assert list(fields(builder(frame=frame).compute())) == pytest.approx(
        [expected[name] for name in ("price", "delta", "gamma", "theta", "vega", "rho")],
        rel=1e-13)
    # As a borrow curve it is read at the time to expiry too.
    frame = make_frame()
    frame.borrow_curve = curve
    expected = black_scholes(True, 100.0, 100.0, 1.0, 0.2, 0.05, r)["price"]
    assert builder(frame=frame).compute().price == pytest.approx(expected, rel=1e-13)


@pytest.mark.parametrize("compounding", [
    vyr.Compounding.simple(), vyr.Compounding.compounded(vyr.Frequency.Quarterly),
    vyr.Compounding.compounded(vyr.Frequency.Annual)])
@pytest.mark.parametrize("borrow", [False, True])
def test_a_curve_prices_at_the_rate_it_discounts_at(compounding, borrow):
    curve = vyr.RateCurve.flat(vyr.InterestRate(0.05, compounding, ACT365))
    # The continuously compounded rate with the curve's own discount factor to the expiry.
    rate = -math.log(curve.discount_factor(1.0))
    assert rate != pytest.approx(0.05, abs=1e-4)
    if borrow:
        frame = make_frame(q=0.0)
        frame.borrow_curve = curve
        expected = black_scholes(True, 100.0, 100.0, 1.0, 0.2, 0.05, rate)
    else:
        frame = vyr.OptionMarketFrame(100.0, curve, vyr.VolSurface.flat(0.2, ACT365))
        expected = black_scholes(True, 100.0, 100.0, 1.0, 0.2, rate, 0.0)
    result = builder(frame=frame).compute()
    assert result.price == pytest.approx(expected["price"], rel=1e-13)
    assert result.greeks.rho == pytest.approx(expected["rho"], rel=1e-13)


def test_continuous_curves_keep_their_rate_and_a_missing_borrow_curve_is_zero():
    flat = vyr.RateCurve.flat(vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365))
    frame = vyr.OptionMarketFrame(100.0, flat, vyr.VolSurface.flat(0.2, ACT365))
    assert fields(builder(frame=frame).compute()) == fields(builder().compute())
    assert fields(builder(frame=make_frame(q=0.0)).compute()) == fields(builder().compute())


@pytest.mark.parametrize("is_call", [True, False])
@pytest.mark.parametrize("spot", [80.0, 100.0, 125.0])
@pytest.mark.parametrize("q", [0.0, 0.03])
def test_closed_form_prices_and_greeks(is_call, spot, q):
    result = builder(make_option(is_call), make_frame(spot=spot, q=q)).compute()
    expected = black_scholes(is_call, spot, 100.0, 1.0, 0.2, 0.05, q)
    for name, value in zip(("price", "delta", "gamma", "theta", "vega", "rho"), fields(result)):
        assert value == pytest.approx(expected[name], rel=1e-12, abs=1e-13), name


def test_textbook_values():
    call = builder().compute()
    put = builder(make_option(is_call=False)).compute()
    assert round(call.price, 2) == 10.45 and round(put.price, 2) == 5.57
    assert round(call.greeks.delta, 2) == 0.64 and round(call.greeks.vega, 1) == 37.5
    assert round(call.greeks.rho, 1) == 53.2 and round(call.greeks.theta, 2) == -6.41


@pytest.mark.parametrize("spot,q", [(80.0, 0.0), (100.0, 0.02), (130.0, 0.07)])
def test_put_call_parity(spot, q):
    frame = make_frame(spot=spot, q=q)
    call = builder(make_option(True), frame).compute().price
    put = builder(make_option(False), frame).compute().price
    assert call - put == pytest.approx(spot * math.exp(-q) - 100.0 * math.exp(-0.05), rel=1e-12)


@pytest.mark.parametrize("spot", [80.0, 100.0, 120.0])
def test_american_put_is_worth_at_least_the_european(spot):
    frame = make_frame(spot=spot)
    american = builder(make_option(False, True), frame).compute().price
    european = builder(make_option(False, False), frame).compute().price
    assert american >= european
    assert american >= 100.0 - spot


def test_american_put_against_a_published_value():
    frame = make_frame(spot=36.0, r=0.06)
    option = make_option(is_call=False, american=True, strike=40.0)
    assert builder(option, frame).compute().price == pytest.approx(4.4867, rel=2e-3)
    fine = config_with(Policy().fdm(vyr.FdmConfig(400, 801)))
    assert builder(option, frame, fine).compute().price == pytest.approx(4.4867, rel=1e-4)


def test_dividends_lower_the_grid_price_of_a_call_only():
    dividends = vyr.DividendSchedule([(utc(2025, 6, 1), 3.0)])
    grid = config_with(Policy().fdm())
    for config, lowered in ((grid, True), (None, False)):
        plain = builder(frame=make_frame(), config=config).compute().price
        divided = builder(frame=make_frame(dividends=dividends), config=config).compute().price
        if lowered:
            assert divided < plain - 1.0
        else:
            assert divided == plain


AMERICAN_PANIC = ("not implemented: American options with interest rate below dividend yield "
                  "have not been implemented")


def test_american_call_with_yield_above_rate():
    frame = make_frame(r=0.01, q=0.03)
    american = make_option(is_call=True, american=True)
    assert builder(american, frame).compute().greeks.vega is None
    analytic = config_with(Policy().american().analytic())
    with pytest.raises(PanicException, match=f"^{re.escape(AMERICAN_PANIC)}$"):
        builder(american, frame, analytic).compute()
    equal = make_frame(r=0.03, q=0.03)
    assert fields(builder(american, equal, analytic).compute()) == \
        fields(builder(make_option(), equal).compute())


@pytest.mark.parametrize("at", [EXPIRY, EXPIRY + timedelta(days=1),
                                EXPIRY + timedelta(seconds=0.5)])
def test_the_grid_never_runs_at_or_after_expiry(at):
    with pytest.raises(PanicException, match="^Solver never ran$"):
        builder(make_option(False, True), at=at).compute()


def test_closed_form_at_and_after_expiry():
    at_expiry = builder(frame=make_frame(spot=102.5), at=EXPIRY).compute()
    price, delta, gamma, theta, vega, rho = fields(at_expiry)
    assert (price, delta, vega, rho) == (2.5, 1.0, 0.0, 0.0)
    assert math.isnan(gamma) and math.isnan(theta)
    assert all(math.isnan(v) for v in fields(builder(at=EXPIRY).compute()))
    assert all(math.isnan(v) for v in fields(builder(at=EXPIRY + timedelta(hours=1)).compute()))


@pytest.mark.parametrize(
    "spot,text",
    [
        (102.5, "2.5000"),
        (101.23456, "1.2346"),
        (100.00004, "0.0000"),
        (100.00006, "0.0001"),
        (1099.99996, "1000.0000"),
    ],
)
def test_result_repr_has_four_decimals(spot, text):
    # At expiry an in-the-money call is worth spot less strike.
    result = builder(frame=make_frame(spot=spot), at=EXPIRY).compute()
    assert repr(result) == f"<OptionResult price={text}>"


@pytest.mark.parametrize(
    "frame,option",
    [
        (make_frame(), make_option()),
        (make_frame(spot=37.25, sigma=0.45, q=0.01), make_option(False, True, strike=40.0)),
        (make_frame(spot=1e12), make_option()),
        (make_frame(spot=1e-3), make_option()),
    ],
)
def test_result_repr_of_computed_prices(frame, option):
    result = builder(option, frame).compute()
    assert repr(result) == f"<OptionResult price={result.price:.4f}>"


@pytest.mark.parametrize(
    "frame,strike,at,text",
    [
        (make_frame(spot=float("nan")), 100.0, VALUATION, "NaN"),
        (make_frame(), 100.0, EXPIRY, "NaN"),  # spot on the strike at expiry
        (make_frame(spot=float("inf")), 100.0, VALUATION, "inf"),
        (make_frame(spot=1.0, r=-1.0, q=-709.0), 1e308, VALUATION, "-inf"),
    ],
)
def test_result_repr_of_special_values(frame, strike, at, text):
    result = builder(make_option(strike=strike), frame, at=at).compute()
    assert repr(result) == f"<OptionResult price={text}>"


def test_greeks_are_new_objects_on_every_read():
    result = builder().compute()
    first, second = result.greeks, result.greeks
    assert first is not second and type(first) is vyr.Greeks
    assert [getattr(first, n) for n in ("delta", "gamma", "theta", "vega", "rho")] == \
        [getattr(second, n) for n in ("delta", "gamma", "theta", "vega", "rho")]
    assert type(result.price) is float
    del result
    assert type(first.delta) is float


def test_valuation_time_from_the_clock():
    expiry = datetime.now(timezone.utc) + timedelta(days=365)
    option = make_option(expiry=expiry)
    request = builder(option).at(VALUATION).at(None)
    t = option.years_to_expiry()
    expected = black_scholes(True, 100.0, 100.0, t, 0.2, 0.05)["price"]
    for result in (request.compute(), request.at().compute(), builder(option, at=None).compute()):
        assert result.price == pytest.approx(expected, rel=1e-6)


@pytest.mark.parametrize(
    "call,error,text",
    [
        (lambda b: b.at(datetime(2025, 1, 1)), ValueError, EVALUATION_NAIVE),
        (lambda b: b.at(date(2025, 1, 1)), TypeError,
         "argument 'valuation_time': 'date' object cannot be cast as 'datetime'"),
        (lambda b: b.market(5), TypeError,
         "argument 'market_frame': 'int' object cannot be cast as 'OptionMarketFrame'"),
        (lambda b: b.market(None), TypeError,
         "argument 'market_frame': 'NoneType' object cannot be cast as 'OptionMarketFrame'"),
        (lambda b: b.config(Policy()), TypeError,
         "argument 'config': 'InstrumentPolicy' object cannot be cast as 'Config'"),
        (lambda b: b.compute(), ValueError, MISMATCHES[0][2]),
    ],
)
def test_a_failure_leaves_the_builder_as_it_was(call, error, text):
    frame = make_frame(spot=110.0)
    request = builder(frame=frame, config=config_with(Policy().fdm()), at=utc(2025, 6, 1))
    expected = fields(request.compute())
    if error is ValueError and "Mismatched" in text:
        frame.vol_surface = vyr.VolSurface.flat(0.2, DCC.ACT_360)
    with pytest.raises(error) as info:
        call(request)
    assert type(info.value) is error and str(info.value) == text
    frame.vol_surface = vyr.VolSurface.flat(0.2, ACT365)
    assert fields(request.compute()) == expected


INTERPOLATED = vyr.RateCurve.interpolated(
    date(2024, 1, 1), [vyr.Tenor.years(1), vyr.Tenor.years(2)],
    [vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365)] * 2)


@pytest.mark.parametrize(
    "rates,vols,error,text",
    [
        (INTERPOLATED, vyr.VolSurface.flat(0.2, DCC.ACT_360), ValueError,
         "Mismatched day count conventions: Rates use Actual365Fixed, while Vol uses Actual360. "
         "They must be identical."),
        (MISMATCHES[0][0], MISMATCHES[0][1], ValueError, MISMATCHES[0][2]),
    ],
)
def test_market_checks_come_before_the_pricing(rates, vols, error, text):
    # At expiry on the grid route the pricing itself would fail with "Solver never ran".
    frame = vyr.OptionMarketFrame(100.0, rates, vols)
    with pytest.raises(error) as info:
        builder(make_option(False, True), frame, at=EXPIRY).compute()
    assert type(info.value) is error and str(info.value) == text


def test_a_frame_being_written_cannot_be_read_by_a_valuation():
    frame = make_frame()
    request = builder(frame=frame)
    seen = []

    class Reentrant:
        def __float__(self):
            try:
                request.compute()
            except PanicException as error:
                seen.append(str(error))
            return 120.0

    frame.spot = Reentrant()
    assert seen == ["Already mutably borrowed"]
    assert fields(request.compute()) == fields(builder(frame=make_frame(spot=120.0)).compute())


def test_unrepresentable_valuation_time():
    class Far(datetime):
        def timestamp(self):
            return 1e300

    with pytest.raises(ValueError, match="^Invalid timestamp$"):
        make_option().valuation().at(Far(2025, 1, 1, tzinfo=timezone.utc))


def test_constructor_and_argument_errors():
    for call, text in [
        (lambda: vyr.ValuationBuilder("x"),
         "argument 'instrument': 'str' object cannot be cast as 'VanillaOption'"),
        (lambda: vyr.Config().add_policy("x"),
         "argument 'policy': 'str' object cannot be cast as 'InstrumentPolicy'"),
        (lambda: Policy().fdm(5),
         "argument 'fdm_config': 'int' object cannot be cast as 'FdmConfig'"),
    ]:
        with pytest.raises(TypeError, match=f"^{re.escape(text)}$"):
            call()


@pytest.mark.parametrize(
    "function,signature",
    [
        (vyr.ValuationBuilder.market, "($self, market_frame)"),
        (vyr.ValuationBuilder.at, "($self, valuation_time=None)"),
        (vyr.ValuationBuilder.config, "($self, config=None)"),
        (vyr.VanillaOption.valuation, "($self)"),
        (vyr.VanillaOption.implied_vol, "($self)"),
        (vyr.Config.add_policy, "($self, policy)"),
        (vyr.InstrumentPolicy.american, "($self)"),
        (vyr.InstrumentPolicy.analytic, "($self)"),
    ],
)
def test_text_signatures(function, signature):
    assert function.__text_signature__ == signature


def test_valuation_reference_counts(leaks):
    option, frame = make_option(is_call=False, american=True), make_frame(q=0.01)
    config, policy = vyr.Config(), Policy().european().put().fdm(FINE)
    naive = datetime(2025, 1, 1)
    bad_frame = vyr.OptionMarketFrame(100.0, vyr.RateCurve.continuous(0.05, ACT365),
                                      vyr.VolSurface.flat(0.2, DCC.ACT_360))
    request = option.valuation()

    def run():
        config.add_policy(policy)
        result = request.market(frame).at(VALUATION).config(config).compute()
        result.greeks.delta, result.greeks.vega, repr(result)
        make_option().valuation().market(frame).at(VALUATION).compute().greeks.rho
        with pytest.raises(ValueError):
            request.market(bad_frame).compute()
        with pytest.raises(ValueError):
            request.at(naive)
        with pytest.raises(PanicException):
            request.market(frame).at(EXPIRY).compute()
        with pytest.raises(TypeError):
            request.config(policy)

    leaks.check(run, option, frame, config, policy, naive, bad_frame, request, VALUATION,
                repeat=100)


# The fixed-point method

FIXED_POINT = config_with(Policy().fixed_point())


@pytest.mark.parametrize("is_call,spot,q", [(False, 90.0, 0.0), (False, 110.0, 0.03),
                                            (True, 120.0, 0.08), (False, 80.0, 0.08)])
def test_fixed_point_prices_americans_with_every_greek(is_call, spot, q):
    option = make_option(is_call=is_call, american=True)
    frame = make_frame(spot=spot, q=q)
    result = builder(option, frame, FIXED_POINT).compute()
    fine = builder(option, frame, config_with(Policy().fdm(vyr.FdmConfig(1600, 1601)))).compute()
    assert result.price == pytest.approx(fine.price, abs=5e-4)
    assert result.greeks.delta == pytest.approx(fine.greeks.delta, abs=1e-3)
    assert isinstance(result.greeks.vega, float) and isinstance(result.greeks.rho, float)
    european = black_scholes(is_call, spot, 100.0, 1.0, 0.2, 0.05, q)["price"]
    assert result.price >= max(european, (spot - 100.0) if is_call else (100.0 - spot))


def test_fixed_point_prices_a_european_in_closed_form():
    result = builder(make_option(), make_frame(), FIXED_POINT).compute()
    assert fields(result) == fields(builder().compute())


def test_fixed_point_solves_implied_volatilities():
    option = make_option(is_call=False, american=True)
    target = builder(option, make_frame(sigma=0.35), FIXED_POINT).compute().price
    solver = option.implied_vol().market(make_frame()).at(VALUATION).config(FIXED_POINT)
    assert solver.price(target).calculate() == pytest.approx(0.35, abs=5e-5)


@pytest.mark.parametrize("kwargs,error,text", [
    ({"iterations": 100}, ValueError, "FixedPointSettings: iterations must be in [0, 16], got 100"),
    ({"collocation_nodes": 1}, ValueError,
     "FixedPointSettings: collocation_nodes must be in [2, 48], got 1"),
    ({"step_tolerance": -1.0}, ValueError,
     "FixedPointSettings: step_tolerance must be finite and not negative, got -1"),
    ({"iterations": 1.5}, TypeError,
     "argument 'iterations': 'float' object cannot be interpreted as an integer"),
    ({"nodes": 3}, TypeError,
     "InstrumentPolicy.fixed_point() got an unexpected keyword argument 'nodes'"),
])
def test_fixed_point_settings_are_checked_when_given(kwargs, error, text):
    with pytest.raises(error) as info:
        Policy().fixed_point(**kwargs)
    assert type(info.value) is error and str(info.value) == text


@pytest.mark.parametrize("frame,text", [
    (make_frame(dividends=vyr.DividendSchedule([(utc(2025, 6, 1), 1.5)])),
     "The fixed-point method cannot price a cash dividend inside the option's life; route "
     "options with dividends to the grid with InstrumentPolicy().fdm()"),
    (make_frame(r=-0.01, q=-0.03),
     "American put with q < r < 0 needs two exercise boundaries, which the fixed-point method "
     "does not price; route it to the grid"),
])
def test_fixed_point_refuses_what_it_cannot_price(frame, text):
    put = make_option(is_call=False, american=True)
    with pytest.raises(ValueError) as info:
        builder(put, frame, FIXED_POINT).compute()
    assert str(info.value) == text


def test_a_curve_that_cannot_discount_cannot_price():
    rule = vyr.Compounding.simple_then_compounded(vyr.Frequency.Annual)
    curve = vyr.RateCurve.flat(vyr.InterestRate(0.05, rule, ACT365))
    frame = vyr.OptionMarketFrame(100.0, curve, vyr.VolSurface.flat(0.2, ACT365))
    with pytest.raises(PanicException, match="^not yet implemented: Implement other logic$"):
        builder(frame=frame).compute()
