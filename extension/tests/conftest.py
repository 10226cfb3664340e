import decimal
import gc
import math
import sys
from datetime import datetime, timezone

import pytest

import vyr

UTC = timezone.utc


def panic_type():
    """The module's PanicException class, which is not a module attribute."""
    try:
        vyr.Compounding.simple_then_compounded(vyr.Frequency.Annual)
        vyr.InterestRate(
            0.01,
            vyr.Compounding.simple_then_compounded(vyr.Frequency.Annual),
            vyr.DayCountConvention.ACT_365_FIXED,
        ).discount_factor(1.0)
    except BaseException as error:  # noqa: BLE001 - PanicException derives from BaseException
        return type(error)
    raise AssertionError("expected a PanicException")


PanicException = panic_type()


@pytest.fixture
def act365():
    return vyr.DayCountConvention.ACT_365_FIXED


def utc(*args):
    return datetime(*args, tzinfo=UTC)


class Leaks:
    """Repeats a call and checks that the reference counts of its arguments stay unchanged."""

    @staticmethod
    def check(call, *objects, repeat=200):
        for _ in range(20):
            call()
        gc.collect()
        before = [sys.getrefcount(o) for o in objects]
        for _ in range(repeat):
            call()
        gc.collect()
        after = [sys.getrefcount(o) for o in objects]
        assert before == after


@pytest.fixture
def leaks():
    return Leaks


# Shared by the market-data, option, engine-settings, valuation and implied-volatility tests.

VALUATION = utc(2025, 1, 1)
EXPIRY = utc(2026, 1, 1)  # one 365-day year after VALUATION


def normal_cdf(x):
    return (1.0 + math.erf(x / math.sqrt(2.0))) * 0.5


def black_scholes(is_call, spot, strike, t, sigma, r, q=0.0):
    """Closed-form price and Greeks (vega per 1.0 of sigma, theta per year, rho per 1.0 of r)."""
    sqrt_t = math.sqrt(t)
    d1 = (math.log(spot / strike) + (r - q + 0.5 * sigma * sigma) * t) / (sigma * sqrt_t)
    d2 = d1 - sigma * sqrt_t
    forward = spot * math.exp(-q * t)
    discounted_strike = strike * math.exp(-r * t)
    phi = math.exp(-0.5 * d1 * d1) / math.sqrt(2.0 * math.pi)
    common = {
        "gamma": math.exp(-q * t) * phi / (spot * sigma * sqrt_t),
        "vega": forward * phi * sqrt_t,
    }
    decay = -forward * phi * sigma / (2.0 * sqrt_t)
    if is_call:
        return dict(common,
                    price=forward * normal_cdf(d1) - discounted_strike * normal_cdf(d2),
                    delta=math.exp(-q * t) * normal_cdf(d1),
                    theta=(decay + q * forward * normal_cdf(d1)
                           - r * discounted_strike * normal_cdf(d2)),
                    rho=t * discounted_strike * normal_cdf(d2))
    return dict(common,
                price=discounted_strike * normal_cdf(-d2) - forward * normal_cdf(-d1),
                delta=math.exp(-q * t) * (normal_cdf(d1) - 1.0),
                theta=(decay - q * forward * normal_cdf(-d1)
                       + r * discounted_strike * normal_cdf(-d2)),
                rho=-t * discounted_strike * normal_cdf(-d2))


def make_frame(spot=100.0, r=0.05, sigma=0.2, q=None, dividends=None, dcc=None):
    """A frame of continuous curves and a flat surface, all under one day count."""
    dcc = dcc or vyr.DayCountConvention.ACT_365_FIXED
    borrow = None if q is None else vyr.RateCurve.continuous(q, dcc)
    return vyr.OptionMarketFrame(spot, vyr.RateCurve.continuous(r, dcc),
                                 vyr.VolSurface.flat(sigma, dcc), dividends, borrow)


def make_option(is_call=True, american=False, strike=100.0, expiry=EXPIRY):
    return vyr.VanillaOption(strike, expiry,
                             vyr.OptionType.Call if is_call else vyr.OptionType.Put,
                             vyr.ExerciseStyle.American if american else vyr.ExerciseStyle.European)


def option_for(american=False, **kwargs):
    """The American put, or the European call, on the shared market."""
    return make_option(is_call=not american, american=american, **kwargs)


def price_of(option, frame, config=None, at=VALUATION):
    return option.valuation().market(frame).at(at).config(config).compute().price


def config_with(*policies):
    config = vyr.Config()
    for policy in policies:
        config.add_policy(policy)
    return config


def shortest(value):
    """The shortest decimal that reads back as `value`, without exponent, as messages print it."""
    if math.isnan(value):
        return "NaN"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return format(decimal.Decimal(repr(value)).normalize(), "f")
