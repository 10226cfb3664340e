"""Implied volatilities of an option chain, plotted as a smile to a PNG file.

The chain is one listed expiry of American calls and puts on a stock that pays a cash dividend
before expiry. Its quotes are made up by the script: each option is priced with a skewed smile
of volatilities, and the price is turned into a bid and an ask on a one-cent tick. The script
then does what one does with real quotes: it solves each mid price for the implied volatility
with the same model (finite differences, early exercise, the dividend), prints the chain and
plots both smiles. The recovered volatilities differ from the smile by the quotes' rounding,
most in the wings, where a cent is a large share of the price.

    python examples/option_chain_smile.py --output smile.png

The plot needs matplotlib (`pip install "vyr[plot]"`); without it the chain is still printed.
"""

from __future__ import annotations

import argparse
import math
from datetime import datetime
from pathlib import Path
from zoneinfo import ZoneInfo

import vyr

NEW_YORK = ZoneInfo("America/New_York")
ACT365 = vyr.DayCountConvention.ACT_365_FIXED
TICK = 0.01

SPOT = 100.0
VALUATION_TIME = datetime(2026, 1, 16, 16, 0, tzinfo=NEW_YORK)
EXPIRY = datetime(2026, 3, 20, 16, 0, tzinfo=NEW_YORK)
DIVIDEND = (datetime(2026, 2, 13, 9, 30, tzinfo=NEW_YORK), 0.62)
STRIKES = [80.0 + 2.5 * i for i in range(17)]


def smile(strike: float) -> float:
    """The volatility the quotes are made from: a put skew with some curvature."""
    moneyness = math.log(strike / SPOT)
    return 0.24 - 0.30 * moneyness + 0.90 * moneyness**2


def quote(price: float) -> tuple[float, float]:
    """Bid and ask around a price: a spread of 2 % of the price, at least one tick each side."""
    half_spread = max(TICK, 0.01 * price)
    bid = max(0.0, math.floor((price - half_spread) / TICK) * TICK)
    ask = math.ceil((price + half_spread) / TICK) * TICK
    return round(bid, 2), round(ask, 2)


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", type=Path, default=Path("iv_smile.png"), help="PNG file")
    args = parser.parse_args(argv)

    market = vyr.OptionMarketFrame(
        SPOT,
        vyr.RateCurve.continuous(0.04, ACT365),
        vyr.VolSurface.flat(0.24, ACT365),
        dividends=vyr.DividendSchedule([DIVIDEND]),
        borrow_curve=vyr.RateCurve.continuous(0.003, ACT365),
    )
    config = vyr.Config().add_policy(
        vyr.InstrumentPolicy().fdm(vyr.FdmConfig(time_steps=100, grid_nodes=201))
    )
    kinds = {"call": vyr.OptionType.Call, "put": vyr.OptionType.Put}

    print(
        f"Spot {SPOT}, expiry {EXPIRY:%Y-%m-%d %H:%M %Z}, "
        f"valued {VALUATION_TIME:%Y-%m-%d %H:%M %Z}, "
        f"dividend {DIVIDEND[1]} ex {DIVIDEND[0]:%Y-%m-%d}"
    )
    print(
        f"{'strike':>7} {'smile':>6} | {'call bid':>8} {'ask':>6} {'impl.vol':>8} | "
        f"{'put bid':>8} {'ask':>6} {'impl.vol':>8}"
    )
    implied: dict[str, list[float | None]] = {"call": [], "put": []}
    for strike in STRIKES:
        cells = []
        for name, kind in kinds.items():
            option = vyr.VanillaOption(strike, EXPIRY, kind, vyr.ExerciseStyle.American)
            market.vol_surface = vyr.VolSurface.flat(smile(strike), ACT365)
            price = (
                option.valuation().market(market).at(VALUATION_TIME).config(config).compute().price
            )
            bid, ask = quote(price)
            solver = option.implied_vol().market(market).at(VALUATION_TIME).config(config)
            try:
                vol: float | None = solver.price((bid + ask) / 2).calculate()
            except ValueError:  # a mid below the exercise value has no implied volatility
                vol = None
            implied[name].append(vol)
            shown = "-" if vol is None else f"{vol:.4f}"
            cells.append(f"{bid:>8.2f} {ask:>6.2f} {shown:>8}")
        print(f"{strike:>7.1f} {smile(strike):>6.4f} | {cells[0]} | {cells[1]}")

    try:
        import matplotlib
    except ImportError:
        print('matplotlib is not installed (pip install "vyr[plot]"): no plot')
        return
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, axes = pyplot.subplots(figsize=(7, 4.2), layout="constrained")
    fine = [STRIKES[0] + (STRIKES[-1] - STRIKES[0]) * i / 200 for i in range(201)]
    axes.plot(fine, [smile(k) for k in fine], color="0.6", label="smile of the quotes")
    for name, marker in (("call", "o"), ("put", "s")):
        points = [(k, v) for k, v in zip(STRIKES, implied[name], strict=True) if v is not None]
        axes.plot(
            [k for k, _ in points],
            [v for _, v in points],
            marker,
            fillstyle="none",
            label=f"American {name}s, implied from mid",
        )
    axes.axvline(SPOT, color="0.85", linestyle="--", zorder=0)
    axes.set_xlabel("strike")
    axes.set_ylabel("implied volatility")
    axes.set_title(f"Implied volatility smile, expiry {EXPIRY:%Y-%m-%d}")
    axes.legend()
    figure.savefig(args.output, dpi=110)
    print(f"plot written to {args.output}")


if __name__ == "__main__":
    main()
