"""Soak run: a million valuations and implied-volatility solves across the routes (closed form
and grid), with the process's memory printed at intervals. The resident memory and Python's count
of allocated blocks must stay flat once the run has warmed up; the exit status says whether they
did. Run: python bench/soak.py [--operations N] [--interval N]
"""

import argparse
import gc
import sys
import time
from datetime import datetime, timedelta, timezone

import vyr

UTC = timezone.utc
ACT365 = vyr.DayCountConvention.ACT_365_FIXED
# Growth allowed after the warm-up, for the allocator's own bookkeeping.
RESIDENT_SLACK = 4 * 1024 * 1024
BLOCKS_SLACK = 2000


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def build_requests():
    """The four routes: European call in closed form, American put on a small grid, and the
    implied volatility of each."""
    valuation_time = datetime(2026, 1, 5, 21, tzinfo=UTC)
    expiry = datetime(2027, 1, 5, 21, tzinfo=UTC)
    dividends = vyr.DividendSchedule([(valuation_time + timedelta(days=days), 0.75)
                                      for days in (60, 150, 240, 330)])
    frame = vyr.OptionMarketFrame(100.0, vyr.RateCurve.continuous(0.05, ACT365),
                                  vyr.VolSurface.flat(0.2, ACT365), dividends,
                                  vyr.RateCurve.continuous(0.01, ACT365))
    grid = vyr.Config().add_policy(
        vyr.InstrumentPolicy().fdm(vyr.FdmConfig(time_steps=10, grid_nodes=31)))
    call = vyr.VanillaOption(105.0, expiry, vyr.OptionType.Call, vyr.ExerciseStyle.European)
    put = vyr.VanillaOption(100.0, expiry, vyr.OptionType.Put, vyr.ExerciseStyle.American)
    analytic = call.valuation().market(frame).at(valuation_time)
    on_grid = put.valuation().market(frame).at(valuation_time).config(grid)
    analytic_vol = call.implied_vol().market(frame).at(valuation_time)
    analytic_vol.price(analytic.compute().price)
    grid_vol = put.implied_vol().market(frame).at(valuation_time).config(grid)
    grid_vol.price(on_grid.compute().price)
    return frame, [analytic.compute, analytic_vol.calculate, on_grid.compute, grid_vol.calculate]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--operations", type=int, default=1_000_000)
    parser.add_argument("--interval", type=int, default=100_000)
    arguments = parser.parse_args()

    frame, routes = build_requests()
    spots = [95.0, 100.0, 105.0]
    rounds = arguments.operations // len(routes)
    warm_up = max(1, rounds // 20)
    baseline = None
    start = time.perf_counter()
    print(f"{'operations':>11} {'seconds':>8} {'resident MiB':>13} {'blocks':>9}")
    for round_index in range(1, rounds + 1):
        frame.spot = spots[round_index % len(spots)]
        for route in routes:
            route()
        done = round_index * len(routes)
        if round_index == warm_up:
            gc.collect()
            baseline = (resident_bytes(), sys.getallocatedblocks())
        if done % arguments.interval == 0 or round_index == rounds:
            gc.collect()
            print(f"{done:>11} {time.perf_counter() - start:>8.1f} "
                  f"{resident_bytes() / 2**20:>13.2f} {sys.getallocatedblocks():>9}", flush=True)
    gc.collect()
    grown_resident = resident_bytes() - baseline[0]
    grown_blocks = sys.getallocatedblocks() - baseline[1]
    flat = grown_resident <= RESIDENT_SLACK and grown_blocks <= BLOCKS_SLACK
    print(f"after warm-up: resident {grown_resident / 2**10:+.0f} KiB, "
          f"allocated blocks {grown_blocks:+d}: {'flat' if flat else 'GROWING'}")
    return 0 if flat else 1


if __name__ == "__main__":
    sys.exit(main())
