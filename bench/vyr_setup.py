"""vyr objects for the cases of market_cases: market frames, options, builders and routing."""

from datetime import datetime, timedelta, timezone

import vyr

from market_cases import VALUATION_DAY

ACT365 = vyr.DayCountConvention.ACT_365_FIXED
VALUATION_TIME = datetime(*VALUATION_DAY, tzinfo=timezone.utc)


def day(days):
    return VALUATION_TIME + timedelta(days=days)


def market(case, dividends=()):
    schedule = vyr.DividendSchedule([(day(d.days), d.amount) for d in dividends]) if dividends \
        else None
    return vyr.OptionMarketFrame(case.spot, vyr.RateCurve.continuous(case.r, ACT365),
                                 vyr.VolSurface.flat(case.sigma, ACT365), dividends=schedule,
                                 borrow_curve=vyr.RateCurve.continuous(case.q, ACT365))


def option(case):
    return vyr.VanillaOption(case.strike, day(case.days),
                             vyr.OptionType.Call if case.is_call else vyr.OptionType.Put,
                             vyr.ExerciseStyle.American if case.is_american
                             else vyr.ExerciseStyle.European)


def grid_config(nodes, steps, std_devs=None):
    """Every option, European or American, priced on the grid with these settings."""
    settings = vyr.FdmConfig(time_steps=steps, grid_nodes=nodes, grid_std_devs=std_devs)
    return vyr.Config().add_policy(vyr.InstrumentPolicy().fdm(settings))


def default_grid_config():
    """Every option priced on the grid at the default settings (no FdmConfig given)."""
    return vyr.Config().add_policy(vyr.InstrumentPolicy().fdm())


def analytic_config():
    return vyr.Config().add_policy(vyr.InstrumentPolicy().analytic())


def has_fixed_point():
    """Whether this build of the module routes options to a fixed-point American pricer."""
    return hasattr(vyr.InstrumentPolicy, "fixed_point")


def fixed_point_config(**settings):
    return vyr.Config().add_policy(vyr.InstrumentPolicy().fixed_point(**settings))


def builder(case, config=None):
    """A valuation builder for the case, set up once; its compute() prices it again."""
    valuation = option(case).valuation().market(market(case)).at(VALUATION_TIME)
    return valuation if config is None else valuation.config(config)


def grid_builder(case, nodes, steps, dividends=()):
    """A valuation builder whose compute() prices the case on a (nodes, steps) grid."""
    return (option(case).valuation().market(market(case, dividends)).at(VALUATION_TIME)
            .config(grid_config(nodes, steps)))


def analytic_builder(case, frame):
    """A valuation builder for the closed form, reading the given (reassignable) frame."""
    return option(case).valuation().market(frame).at(VALUATION_TIME)


def implied_vol_builder(case, target):
    return option(case).implied_vol().price(target).market(market(case)).at(VALUATION_TIME)
