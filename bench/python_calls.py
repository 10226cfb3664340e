"""Time per call from Python of the main operations, with a reused builder and a fixed valuation
time. Compare with the core's own figures (bench/README.md) for the binding layer's share; the
bare method call at the end is the floor every call pays. Run: python bench/python_calls.py
"""

import statistics
import timeit
from datetime import datetime, timezone

import vyr

UTC = timezone.utc
ACT365 = vyr.DayCountConvention.ACT_365_FIXED


def per_call_us(function, number, repeat=9):
    runs = timeit.repeat(function, number=number, repeat=repeat)
    return statistics.median(runs) / number * 1e6


def main():
    valuation_time = datetime(2026, 1, 5, 21, 0, tzinfo=UTC)
    expiry = datetime(2027, 1, 5, 21, 0, tzinfo=UTC)
    market = vyr.OptionMarketFrame(
        100.0, vyr.RateCurve.continuous(0.05, ACT365), vyr.VolSurface.flat(0.2, ACT365),
        borrow_curve=vyr.RateCurve.continuous(0.01, ACT365))
    european_call = vyr.VanillaOption(105.0, expiry, vyr.OptionType.Call, vyr.ExerciseStyle.European)
    american_put = vyr.VanillaOption(100.0, expiry, vyr.OptionType.Put, vyr.ExerciseStyle.American)

    analytic = european_call.valuation().market(market).at(valuation_time)
    grid = american_put.valuation().market(market).at(valuation_time)
    target = analytic.compute().price
    solve = european_call.implied_vol().price(target).market(market).at(valuation_time)

    rate = vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365)
    rows = [
        ("European analytic compute()", analytic.compute, 100_000, 1.5),
        ("American put FDM compute() (101 x 10)", grid.compute, 5_000, 20.0),
        ("implied vol, analytic route", solve.calculate, 20_000, 5.0),
        ("bare call: discount_factor(t)", lambda: rate.discount_factor(1.0), 200_000, None),
    ]
    print(f"{'operation':<42}{'us/call':>10}{'goal':>8}")
    for name, function, number, goal in rows:
        value = per_call_us(function, number)
        print(f"{name:<42}{value:>10.3f}{'' if goal is None else f'< {goal}':>8}")


if __name__ == "__main__":
    main()
