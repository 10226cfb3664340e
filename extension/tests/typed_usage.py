"""Typed use of the whole module: checked by `mypy --strict` against the installed stubs and run
as a script against the installed module (test_stubs.py does both).

Each `assert_type` pins what the stubs declare. Each `# type: ignore[code]` marks a call the
stubs must reject; under --strict an ignore that suppresses nothing is itself an error, so the
rejection is checked, and at run time `refused` checks that the module rejects the call too.
"""

from __future__ import annotations

import array
from collections.abc import Callable
from datetime import date, datetime, timedelta, timezone
from typing import TYPE_CHECKING

from typing_extensions import assert_type

import vyr

if TYPE_CHECKING:
    from vyr import ActAct, ImpliedVolColumns, ImpliedVolBuilder, Thirty360, ValuationColumns

UTC = timezone.utc


def refused(call: Callable[[], object], error: type[BaseException] = TypeError) -> None:
    """Runs `call` and requires it to raise `error`."""
    try:
        call()
    except error:
        return
    raise AssertionError("the module accepted a call that the stubs reject")


# Calendar
act365 = assert_type(vyr.DayCountConvention.ACT_365_FIXED, vyr.DayCountConvention)
act360 = assert_type(vyr.DayCountConvention.ACT_360, vyr.DayCountConvention)
thirty: type[Thirty360] = vyr.DayCountConvention.THIRTY_360
actact: type[ActAct] = vyr.DayCountConvention.ACT_ACT
assert_type(thirty.US_ISDA, vyr.DayCountConvention)
assert_type(thirty.EUROBOND_ISMA, vyr.DayCountConvention)
assert_type(vyr.DayCountConvention.THIRTY_360.GERMAN_ISDA, vyr.DayCountConvention)
assert_type(actact.ISDA, vyr.DayCountConvention)
assert vyr.DayCountConvention.ISDA is actact.ISDA
assert vyr.DayCountConvention.US_ISDA is thirty.US_ISDA
assert vyr.DayCountConvention.EUROBOND_ISMA is thirty.EUROBOND_ISMA
assert vyr.DayCountConvention.GERMAN_ISDA is thirty.GERMAN_ISDA
assert assert_type(repr(act365), str) == "<DayCountConvention: Actual365Fixed>"

monthly = assert_type(vyr.Frequency.Monthly, vyr.Frequency)
assert assert_type(monthly.value, int) == 12
assert int(monthly) == 3
for frequency in (vyr.Frequency.Annual, vyr.Frequency.SemiAnnual, vyr.Frequency.Quarterly):
    assert_type(frequency.value, int)

one_month = assert_type(vyr.Tenor.months(1), vyr.Tenor)
assert assert_type(one_month.advance(date(2024, 1, 31)), date) == date(2024, 2, 29)
assert one_month.advance(datetime(2024, 1, 31, 23, tzinfo=UTC)) == date(2024, 2, 29)
assert_type(vyr.Tenor.days(-1), vyr.Tenor)
assert_type(vyr.Tenor.weeks(2), vyr.Tenor)
assert_type(vyr.Tenor.years(1), vyr.Tenor)
refused(lambda: vyr.Tenor.days(1.5))  # type: ignore[arg-type]
refused(lambda: one_month.advance("2024-01-31"))  # type: ignore[arg-type]

days = vyr.PeriodCalculator.days_between(date(2024, 1, 31), date(2024, 3, 31), thirty.US_ISDA)
assert assert_type(days, int) == 60
fraction = vyr.PeriodCalculator.year_fraction(
    datetime(2024, 1, 1, tzinfo=UTC), datetime(2025, 1, 1, tzinfo=UTC), act365
)
assert assert_type(fraction, float) == 366 / 365
new_year, next_year = date(2024, 1, 1), date(2025, 1, 1)
calculator = vyr.PeriodCalculator
refused(lambda: calculator.year_fraction(new_year, next_year, act365))  # type: ignore[arg-type]
refused(lambda: calculator.days_between(new_year, next_year, "ACT"))  # type: ignore[arg-type]

# Rates
quarterly = assert_type(vyr.Compounding.compounded(vyr.Frequency.Quarterly), vyr.Compounding)
assert repr(quarterly) == "Compounding.Compounded(Quarterly)"
assert_type(vyr.Compounding.simple(), vyr.Compounding)
assert_type(vyr.Compounding.continuous(), vyr.Compounding)
assert_type(vyr.Compounding.simple_then_compounded(vyr.Frequency.Annual), vyr.Compounding)
rate = vyr.InterestRate(0.08, quarterly, act365)
assert abs(assert_type(rate.discount_factor(1), float) - 1 / 1.02**4) < 1e-15
refused(lambda: vyr.Compounding.compounded(4))  # type: ignore[arg-type]
refused(lambda: vyr.InterestRate("0.05", quarterly, act365))  # type: ignore[arg-type]

# Market data
flat = assert_type(vyr.RateCurve.flat(rate), vyr.RateCurve)
continuous = vyr.RateCurve.continuous(0.05, act365)
curve = vyr.RateCurve.interpolated(
    date(2024, 1, 1),
    [vyr.Tenor.years(1), vyr.Tenor.years(2)],
    (
        vyr.InterestRate(0.02, vyr.Compounding.continuous(), act365),
        vyr.InterestRate(0.03, vyr.Compounding.continuous(), act365),
    ),
)
assert_type(curve.zero_rate(1.5), float)
assert_type(flat.discount_factor(2), float)
assert_type(continuous.zero_rate(1), float)
refused(lambda: vyr.RateCurve.flat(0.05))  # type: ignore[arg-type]
refused(lambda: vyr.RateCurve.interpolated(new_year, "1Y", [rate]))  # type: ignore[arg-type]

surface = assert_type(vyr.VolSurface.flat(0.2, act365), vyr.VolSurface)
assert assert_type(surface.volatility(100, 1.0), float) == 0.2

ex_date = datetime(2026, 6, 1, 13, 30, tzinfo=UTC)
dividends = vyr.DividendSchedule([(ex_date, 1.25), (ex_date + timedelta(days=91), 1)])
vyr.DividendSchedule(((ex_date, 0.5),))
refused(lambda: vyr.DividendSchedule([[ex_date, 1.0]]))  # type: ignore[list-item]
refused(lambda: vyr.DividendSchedule([(date(2026, 6, 1), 1.0)]))  # type: ignore[list-item]
refused(lambda: vyr.DividendSchedule("abc"))  # type: ignore[arg-type]

market = vyr.OptionMarketFrame(100, continuous, surface, dividends=dividends)
assert assert_type(market.spot, float) == 100.0
assert_type(market.rate_curve, vyr.RateCurve)
assert_type(market.vol_surface, vyr.VolSurface)
assert_type(market.dividends, vyr.DividendSchedule)
assert assert_type(market.borrow_curve, vyr.RateCurve | None) is None
market.spot = 101
market.rate_curve = flat
market.vol_surface = surface
market.dividends = None
market.dividends = dividends
market.borrow_curve = vyr.RateCurve.continuous(0.01, act365)
market.borrow_curve = None
refused(lambda: setattr(market, "rate_curve", None))
if TYPE_CHECKING:
    market.rate_curve = None  # type: ignore[assignment]
    market.spot = "100"  # type: ignore[assignment]

# Instruments
expiry = datetime(2027, 1, 15, 21, tzinfo=UTC)
now = datetime(2026, 1, 15, 21, tzinfo=UTC)
call = vyr.VanillaOption(100, expiry, vyr.OptionType.Call, vyr.ExerciseStyle.European)
put = vyr.VanillaOption(100.0, expiry, vyr.OptionType.Put, vyr.ExerciseStyle.American)
assert assert_type(call.strike, float) == 100.0
assert assert_type(call.years_to_expiry(now), float) == 1.0
assert_type(call.years_to_expiry(), float)
assert_type(call.years_to_expiry(None), float)
assert int(vyr.OptionType.Put) == 1 and int(vyr.ExerciseStyle.European) == 1
assert repr(vyr.ExerciseStyle.American) == "ExerciseStyle.American"
expiry_day = date(2027, 1, 15)
call_type, european = vyr.OptionType.Call, vyr.ExerciseStyle.European
refused(lambda: vyr.VanillaOption(100, expiry_day, call_type, european))  # type: ignore[arg-type]
swapped = (vyr.ExerciseStyle.European, vyr.OptionType.Call)
refused(lambda: vyr.VanillaOption(100, expiry, *swapped))  # type: ignore[arg-type]
refused(lambda: call.years_to_expiry(date(2026, 1, 15)))  # type: ignore[arg-type]

# Finite-difference settings and routing
grid = vyr.FdmConfig(
    time_steps=50, grid_nodes=201, grid_std_devs=4.5, transform=vyr.TransformConfig.sinh(0.25)
)
vyr.FdmConfig(transform=vyr.TransformConfig.log())
vyr.FdmConfig()
refused(lambda: vyr.FdmConfig(time_steps=1.5))  # type: ignore[arg-type]
refused(lambda: vyr.FdmConfig(transform=3))  # type: ignore[arg-type]

policy = assert_type(
    vyr.InstrumentPolicy().european().call().put().american(), vyr.InstrumentPolicy
)
assert_type(policy.analytic(), vyr.InstrumentPolicy)
assert_type(policy.fdm(grid), vyr.InstrumentPolicy)
assert_type(policy.fdm(), vyr.InstrumentPolicy)
assert_type(policy.fixed_point(), vyr.InstrumentPolicy)
assert_type(policy.fixed_point(collocation_nodes=16, step_tolerance=0.0), vyr.InstrumentPolicy)
refused(lambda: policy.fixed_point(iterations=1.5))  # type: ignore[arg-type]
config = assert_type(
    vyr.Config().add_policy(vyr.InstrumentPolicy().american().fdm(grid)), vyr.Config
)
refused(lambda: config.add_policy(config))  # type: ignore[arg-type]

# Valuation
builder = assert_type(call.valuation(), vyr.ValuationBuilder)
builder = assert_type(
    vyr.ValuationBuilder(call).market(market).at(now).config(config), vyr.ValuationBuilder
)
result = assert_type(builder.compute(), vyr.OptionResult)
assert_type(repr(result), str)
assert_type(result.price, float)
greeks = assert_type(result.greeks, vyr.Greeks)
assert_type(greeks.delta, float)
assert_type(greeks.gamma, float)
assert_type(greeks.theta, float)
vega = assert_type(greeks.vega, float | None)
rho = assert_type(greeks.rho, float | None)
assert vega is not None and rho is not None
grid_greeks = put.valuation().market(market).at(now).config(None).at(None).at(now).compute().greeks
assert grid_greeks.vega is None and grid_greeks.rho is None
if greeks.vega is not None:
    per_point = greeks.vega / 100  # narrowing to float for arithmetic
    assert_type(per_point, float)
refused(lambda: call.valuation().market(continuous))  # type: ignore[arg-type]
refused(lambda: call.valuation().at(date(2026, 1, 15)))  # type: ignore[arg-type]
if TYPE_CHECKING:
    greeks.vega + 1.0  # type: ignore[operator]

# Implied volatility
solver: ImpliedVolBuilder = call.implied_vol()
solver = assert_type(
    solver.price(result.price).market(market).at(now).config(config), "ImpliedVolBuilder"
)
assert abs(assert_type(solver.calculate(), float) - 0.2) < 1e-3
assert_type(type(solver)(call), "ImpliedVolBuilder")
refused(lambda: call.implied_vol().price("10"))  # type: ignore[arg-type]

# Chains
strikes = array.array("d", [90.0, 100.0, 110.0])
chain: ValuationColumns = vyr.VanillaOption.value_many(
    strikes, expiry, [vyr.OptionType.Call, vyr.OptionType.Put, vyr.OptionType.Call],
    vyr.ExerciseStyle.European, market, now, config, "raise"
)
assert_type(chain["price"], "array.array[float]")
assert_type(chain["error"], list[str | None])
assert assert_type(chain["vega"][0], float) == chain["vega"][0]
assert chain["error"] == [None, None, None]
vols: ImpliedVolColumns = vyr.VanillaOption.implied_vol_many(
    (100, 105), [expiry, expiry], vyr.OptionType.Call, vyr.ExerciseStyle.European,
    chain["price"][:2], market, valuation_time=now, errors="nan"
)
assert_type(vols["vol"], "array.array[float]")
vyr.VanillaOption.value_many([95.0], [expiry], vyr.OptionType.Put, vyr.ExerciseStyle.American, market)
refused(lambda: vyr.VanillaOption.value_many(
    100.0, expiry, vyr.OptionType.Call, vyr.ExerciseStyle.European, market,
    errors="ignore",  # type: ignore[arg-type]
), ValueError)
refused(lambda: vyr.VanillaOption.value_many(
    100.0, date(2027, 1, 1),  # type: ignore[arg-type]
    vyr.OptionType.Call, vyr.ExerciseStyle.European, market
))
