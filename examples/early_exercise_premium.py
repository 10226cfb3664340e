"""Early-exercise premium: American minus European value across spots, printed and plotted.

Two cases, strike 100 and one year to expiry:
- a put with r = 5 % and no dividend: early exercise pays where the put is deep in the money,
  and the American value there is the exercise value K - S;
- a call with r = 5 % and a cash dividend of 4.00 six months out: exercising just before the
  ex-date captures the dividend, so the call too carries a premium in the money.

Both styles are priced on the same finite-difference grid, so the premium is free of the grid's
own discretisation error; the closed-form European value is printed beside it for reference
(closed form ignores cash dividends, so it is shown for the put only).

    python examples/early_exercise_premium.py --output premium.png

The plot needs matplotlib (`pip install "vyr[plot]"`); without it the table is still printed.
"""

from __future__ import annotations

import argparse
from datetime import datetime, timezone
from pathlib import Path

import vyr

UTC = timezone.utc
ACT365 = vyr.DayCountConvention.ACT_365_FIXED
STRIKE = 100.0
VALUATION_TIME = datetime(2026, 1, 15, 21, 0, tzinfo=UTC)
EXPIRY = datetime(2027, 1, 15, 21, 0, tzinfo=UTC)
EX_DATE = datetime(2026, 7, 15, 13, 30, tzinfo=UTC)
SPOTS = [60.0 + 2.0 * i for i in range(41)]


def values(
    kind: vyr.OptionType, dividends: vyr.DividendSchedule | None
) -> list[tuple[float, float, float]]:
    """(American, European on the grid, European in closed form) at each spot."""
    market = vyr.OptionMarketFrame(
        SPOTS[0],
        vyr.RateCurve.continuous(0.05, ACT365),
        vyr.VolSurface.flat(0.25, ACT365),
        dividends=dividends,
    )
    grid = vyr.Config().add_policy(
        vyr.InstrumentPolicy().fdm(vyr.FdmConfig(time_steps=200, grid_nodes=401))
    )
    closed_form = vyr.Config().add_policy(vyr.InstrumentPolicy().analytic())
    american = vyr.VanillaOption(STRIKE, EXPIRY, kind, vyr.ExerciseStyle.American)
    european = vyr.VanillaOption(STRIKE, EXPIRY, kind, vyr.ExerciseStyle.European)
    rows = []
    for spot in SPOTS:
        market.spot = spot
        prices = [
            option.valuation().market(market).at(VALUATION_TIME).config(config).compute().price
            for option, config in ((american, grid), (european, grid), (european, closed_form))
        ]
        rows.append((prices[0], prices[1], prices[2]))
    return rows


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--output", type=Path, default=Path("early_exercise_premium.png"), help="PNG file"
    )
    args = parser.parse_args(argv)

    puts = values(vyr.OptionType.Put, None)
    calls = values(vyr.OptionType.Call, vyr.DividendSchedule([(EX_DATE, 4.0)]))
    print(
        f"Strike {STRIKE}, one year, r 5 %, vol 25 %; "
        f"call: cash dividend 4.00 ex {EX_DATE:%Y-%m-%d}"
    )
    print(
        f"{'spot':>6} | {'put Am.':>8} {'Eu.':>8} {'premium':>8} {'closed':>8} | "
        f"{'call Am.':>8} {'Eu.':>8} {'premium':>8}"
    )
    for spot, put, call in zip(SPOTS, puts, calls, strict=True):
        if spot % 10 == 0:
            print(
                f"{spot:>6.1f} | {put[0]:>8.4f} {put[1]:>8.4f} {put[0] - put[1]:>8.4f} "
                f"{put[2]:>8.4f} | {call[0]:>8.4f} {call[1]:>8.4f} {call[0] - call[1]:>8.4f}"
            )

    try:
        import matplotlib
    except ImportError:
        print('matplotlib is not installed (pip install "vyr[plot]"): no plot')
        return
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, (left, right) = pyplot.subplots(1, 2, figsize=(10, 4.2), layout="constrained")
    left.plot(SPOTS, [p[0] for p in puts], label="American put")
    left.plot(SPOTS, [p[1] for p in puts], label="European put")
    left.plot(
        SPOTS,
        [max(STRIKE - s, 0.0) for s in SPOTS],
        color="0.6",
        linestyle=":",
        label="exercise value",
    )
    left.set_xlabel("spot")
    left.set_ylabel("value")
    left.set_title("Put values, strike 100, one year")
    left.legend()
    right.plot(SPOTS, [p[0] - p[1] for p in puts], label="put, no dividend")
    right.plot(SPOTS, [c[0] - c[1] for c in calls], label="call, cash dividend 4.00")
    right.axvline(STRIKE, color="0.85", linestyle="--", zorder=0)
    right.set_xlabel("spot")
    right.set_ylabel("American - European")
    right.set_title("Early-exercise premium")
    right.legend()
    figure.savefig(args.output, dpi=110)
    print(f"plot written to {args.output}")


if __name__ == "__main__":
    main()
