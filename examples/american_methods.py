"""A chain of American puts priced by all three methods, with the time each takes.

Strikes from 80 to 120 on one market (spot 100, r = 5 %, a continuous yield of 2 %, σ = 25 %,
six months to expiry). Each strike is priced by:
- the closed form, which gives the European value (early exercise has no value in it);
- the finite-difference grid at its defaults (101 nodes, 10 steps) and at 801 × 800;
- the fixed-point method on the exercise boundary at its default settings, and at high accuracy
  (the reference of the table).

The table shows each price, the default fixed point's and the fine grid's distance from the
reference, and the early-exercise premium; the last lines give the median time per price of each
method, through Python on builders set up once (they vary from run to run).

    python examples/american_methods.py
"""

from __future__ import annotations

import argparse
import statistics
import time
from datetime import datetime, timezone

import vyr

UTC = timezone.utc
ACT365 = vyr.DayCountConvention.ACT_365_FIXED
VALUATION_TIME = datetime(2026, 1, 15, 21, 0, tzinfo=UTC)
EXPIRY = datetime(2026, 7, 15, 20, 0, tzinfo=UTC)
STRIKES = [80.0 + 5.0 * i for i in range(9)]

METHODS = {
    "closed form": vyr.InstrumentPolicy().analytic(),
    "grid 101x10": vyr.InstrumentPolicy().fdm(),
    "grid 801x800": vyr.InstrumentPolicy().fdm(vyr.FdmConfig(time_steps=800, grid_nodes=801)),
    "fixed point": vyr.InstrumentPolicy().fixed_point(),
    "high accuracy": vyr.InstrumentPolicy().fixed_point(
        collocation_nodes=24,
        collocation_nodes_off_strike=32,
        iterations=3,
        step_tolerance=1e-5,
        first_iteration_quadrature_nodes=8,
        boundary_quadrature_nodes=32,
        premium_quadrature_nodes=96,
    ),
}


def builders(strike: float, market: vyr.OptionMarketFrame) -> dict[str, vyr.ValuationBuilder]:
    put = vyr.VanillaOption(strike, EXPIRY, vyr.OptionType.Put, vyr.ExerciseStyle.American)
    return {
        name: put.valuation()
        .market(market)
        .at(VALUATION_TIME)
        .config(vyr.Config().add_policy(policy))
        for name, policy in METHODS.items()
    }


def median_time(builder: vyr.ValuationBuilder, repeats: int) -> float:
    """Median seconds of one compute() over `repeats` runs of ten calls."""
    runs = []
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(10):
            builder.compute()
        runs.append((time.perf_counter() - start) / 10)
    return statistics.median(runs)


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=15, help="timing runs per method")
    args = parser.parse_args(argv)

    # The closed form refuses an American option whose yield exceeds its rate; here q < r.
    market = vyr.OptionMarketFrame(
        100.0,
        vyr.RateCurve.continuous(0.05, ACT365),
        vyr.VolSurface.flat(0.25, ACT365),
        borrow_curve=vyr.RateCurve.continuous(0.02, ACT365),
    )
    chain = [builders(strike, market) for strike in STRIKES]

    print("American puts, S = 100, r = 5 %, q = 2 %, vol = 25 %, six months")
    print(
        "strike  closed form  grid 101x10  grid 801x800  fixed point  reference"
        "  fp - ref  fine - ref  premium"
    )
    for strike, row in zip(STRIKES, chain):
        price = {name: builder.compute().price for name, builder in row.items()}
        reference = price["high accuracy"]
        print(
            f"{strike:6.1f}  {price['closed form']:11.4f}  {price['grid 101x10']:11.4f}"
            f"  {price['grid 801x800']:12.4f}  {price['fixed point']:11.6f}  {reference:9.6f}"
            f"  {price['fixed point'] - reference:+8.1e}"
            f"  {price['grid 801x800'] - reference:+10.1e}"
            f"  {reference - price['closed form']:7.4f}"
        )
    greeks = chain[4]["fixed point"].compute().greeks
    print(
        f"fixed point at the money: delta {greeks.delta:.4f} gamma {greeks.gamma:.4f}"
        f" theta {greeks.theta:.4f} vega {greeks.vega:.4f} rho {greeks.rho:.4f}"
    )
    print("median time per price:")
    for name in METHODS:
        seconds = statistics.median(median_time(row[name], args.repeats) for row in chain)
        print(f"  {name:13s} {seconds * 1e6:9.1f} µs")


if __name__ == "__main__":
    main()
