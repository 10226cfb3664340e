"""QuantLib objects for the cases of market_cases, set up as its users would.

Flat continuously compounded curves and a constant volatility under Actual/365 Fixed, on a null
calendar, so the year fractions match vyr's exactly. Quotes are kept so that a benchmark can move
the spot.
"""

from dataclasses import dataclass

import QuantLib as ql

from market_cases import VALUATION_DAY

DAY_COUNT = ql.Actual365Fixed()
TODAY = ql.Date(VALUATION_DAY[2], VALUATION_DAY[1], VALUATION_DAY[0])
ql.Settings.instance().evaluationDate = TODAY

SCHEMES = {
    "Douglas": ql.FdmSchemeDesc.Douglas,  # the engine's default (Crank-Nicolson in one dimension)
    "TrBDF2": ql.FdmSchemeDesc.TrBDF2,
}


@dataclass
class Setup:
    spot: ql.SimpleQuote
    process: ql.BlackScholesMertonProcess
    option: ql.VanillaOption


def _flat(rate):
    return ql.YieldTermStructureHandle(ql.FlatForward(TODAY, ql.QuoteHandle(ql.SimpleQuote(rate)),
                                                      DAY_COUNT, ql.Continuous))


def setup(case):
    spot = ql.SimpleQuote(case.spot)
    volatility = ql.BlackVolTermStructureHandle(
        ql.BlackConstantVol(TODAY, ql.NullCalendar(), ql.QuoteHandle(ql.SimpleQuote(case.sigma)),
                            DAY_COUNT))
    process = ql.BlackScholesMertonProcess(ql.QuoteHandle(spot), _flat(case.q), _flat(case.r),
                                           volatility)
    return Setup(spot, process, option(case))


def option(case):
    """A new option object for the case (each pricing engine needs its own to be timed alone)."""
    if case.days != int(case.days):
        raise ValueError(f"QuantLib's dates are whole days, not {case.days:g}")
    expiry = TODAY + int(case.days)
    payoff = ql.PlainVanillaPayoff(ql.Option.Call if case.is_call else ql.Option.Put, case.strike)
    exercise = ql.AmericanExercise(TODAY, expiry) if case.is_american \
        else ql.EuropeanExercise(expiry)
    return ql.VanillaOption(payoff, exercise)


def dividend_vector(dividends):
    return ql.DividendVector([TODAY + d.days for d in dividends], [d.amount for d in dividends])


def grid_engine(process, steps, nodes, scheme="Douglas", dividends=()):
    """The finite-difference engine at (time steps, space nodes); no damping steps."""
    if dividends:
        return ql.FdBlackScholesVanillaEngine(process, dividend_vector(dividends), steps, nodes, 0,
                                              SCHEMES[scheme]())
    return ql.FdBlackScholesVanillaEngine(process, steps, nodes, 0, SCHEMES[scheme]())


FIXED_POINT_SCHEMES = {
    "fast": ql.QdFpAmericanEngine.fastScheme,
    "accurate": ql.QdFpAmericanEngine.accurateScheme,
    "high precision": ql.QdFpAmericanEngine.highPrecisionScheme,
}


def fixed_point_engine(process, scheme="high precision"):
    """The fixed-point American engine with one of its three iteration schemes."""
    return ql.QdFpAmericanEngine(process, FIXED_POINT_SCHEMES[scheme]())


def reference_engine(process):
    """The fixed-point American engine with its high-precision scheme."""
    return fixed_point_engine(process, "high precision")


def analytic_engine(process):
    return ql.AnalyticEuropeanEngine(process)


def price(setup_, engine):
    setup_.option.setPricingEngine(engine)
    return setup_.option.NPV()
