"""A book of listed equity options as plain rows, and the pricing of a chunk of rows.

Shared by parallel_book.py (processes on one machine) and dask_book.py (a Dask cluster). A task
carries only numbers and datetimes, which pickle cheaply and need no vyr on the sending side;
`price_rows` builds the vyr objects inside the worker. vyr objects themselves do not pickle.
"""

from __future__ import annotations

import random
from collections.abc import Iterator, Sequence
from datetime import datetime, timedelta
from typing import NamedTuple
from zoneinfo import ZoneInfo

import vyr

NEW_YORK = ZoneInfo("America/New_York")


class Market(NamedTuple):
    """The market of the book's underlying, as plain values."""

    spot: float
    rate: float  # continuously compounded, per year
    borrow: float  # continuous yield, per year
    vol: float  # flat, per year
    valuation_time: datetime
    dividends: tuple[tuple[datetime, float], ...]  # (ex-datetime, cash amount)


class Row(NamedTuple):
    """One position: strike, expiry, 0 call / 1 put, 0 American / 1 European, quantity."""

    strike: float
    expiry: datetime
    option_type: int
    exercise_style: int
    quantity: int


class Grid(NamedTuple):
    """Finite-difference settings of the book's valuations."""

    time_steps: int = 200
    grid_nodes: int = 401


def make_market() -> Market:
    valuation_time = datetime(2026, 1, 16, 16, 0, tzinfo=NEW_YORK)
    dividends = tuple(
        (datetime(2026, month, 13, 9, 30, tzinfo=NEW_YORK), 0.62) for month in (2, 5, 8, 11)
    )
    return Market(100.0, 0.04, 0.003, 0.27, valuation_time, dividends)


def make_book(size: int, market: Market, seed: int = 20260116) -> list[Row]:
    """`size` positions: strikes 60-140, monthly expiries up to two years, mostly American."""
    generator = random.Random(seed)
    first_friday = market.valuation_time + timedelta(days=(4 - market.valuation_time.weekday()) % 7)
    expiries = [first_friday + timedelta(weeks=4 * k) for k in range(1, 27)]
    return [
        Row(
            strike=float(generator.randrange(60, 141)),
            expiry=generator.choice(expiries),
            option_type=generator.randrange(2),
            exercise_style=0 if generator.random() < 0.8 else 1,
            quantity=generator.choice((-10, -5, -1, 1, 5, 10)),
        )
        for _ in range(size)
    ]


def chunks(rows: Sequence[Row], size: int) -> Iterator[list[Row]]:
    for start in range(0, len(rows), size):
        yield list(rows[start : start + size])


def frame_and_config(market: Market, grid: Grid) -> tuple[vyr.OptionMarketFrame, vyr.Config]:
    """The vyr market frame of `market`, and a config that prices every option on `grid`."""
    act365 = vyr.DayCountConvention.ACT_365_FIXED
    frame = vyr.OptionMarketFrame(
        market.spot,
        vyr.RateCurve.continuous(market.rate, act365),
        vyr.VolSurface.flat(market.vol, act365),
        dividends=vyr.DividendSchedule(list(market.dividends)) if market.dividends else None,
        borrow_curve=vyr.RateCurve.continuous(market.borrow, act365),
    )
    settings = vyr.FdmConfig(time_steps=grid.time_steps, grid_nodes=grid.grid_nodes)
    return frame, vyr.Config().add_policy(vyr.InstrumentPolicy().fdm(settings))


def price_rows(
    market: Market, rows: Sequence[Row], grid: Grid = Grid()
) -> list[tuple[float, float]]:
    """(price, delta) of each row, every option on the finite-difference grid."""
    frame, config = frame_and_config(market, grid)
    types = (vyr.OptionType.Call, vyr.OptionType.Put)
    styles = (vyr.ExerciseStyle.American, vyr.ExerciseStyle.European)
    results = []
    for row in rows:
        option = vyr.VanillaOption(
            row.strike, row.expiry, types[row.option_type], styles[row.exercise_style]
        )
        result = option.valuation().market(frame).at(market.valuation_time).config(config).compute()
        results.append((result.price, result.greeks.delta))
    return results


def price_rows_many(
    market: Market, rows: Sequence[Row], grid: Grid = Grid()
) -> list[tuple[float, float]]:
    """The same as `price_rows`, in one `VanillaOption.value_many` call for all the rows: the
    rows are priced with the interpreter lock released, so threads run such calls in parallel."""
    frame, config = frame_and_config(market, grid)
    # Local, like the objects of price_rows: a task pickled by value carries no vyr object.
    types = (vyr.OptionType.Call, vyr.OptionType.Put)
    styles = (vyr.ExerciseStyle.American, vyr.ExerciseStyle.European)
    chain = vyr.VanillaOption.value_many(
        [row.strike for row in rows],
        [row.expiry for row in rows],
        [types[row.option_type] for row in rows],
        [styles[row.exercise_style] for row in rows],
        frame,
        market.valuation_time,
        config,
        errors="raise",
    )
    return list(zip(chain["price"], chain["delta"], strict=True))


def book_totals(rows: Sequence[Row], results: Sequence[tuple[float, float]]) -> tuple[float, float]:
    """Value and delta of the whole book (per unit of each option, times the quantities)."""
    value = sum(row.quantity * price for row, (price, _) in zip(rows, results, strict=True))
    delta = sum(row.quantity * delta for row, (_, delta) in zip(rows, results, strict=True))
    return value, delta
