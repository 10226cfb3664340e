"""Prices a large book of American and European options serially, then in parallel with
`concurrent.futures.ProcessPoolExecutor` and with threads, and prints the speed-ups.

A single-option call holds the interpreter lock for the whole of the call, so threads that make
such calls give no parallel speed (the script times a thread pool of them too, to show it);
processes do. `VanillaOption.value_many` prices a whole chunk with the lock released, so threads
that each price a chunk in one call run in parallel, without the processes' start-up and
pickling. Each task carries a chunk of plain rows (numbers and datetimes, see book.py) and the
worker builds the vyr objects itself.

    python examples/parallel_book.py                  # 4000 options, one process per core
    python examples/parallel_book.py --size 20000 --workers 8 --chunk 250 --repeat 3
"""

from __future__ import annotations

import argparse
import math
import os
import time
from collections.abc import Callable
from concurrent.futures import Executor, ProcessPoolExecutor, ThreadPoolExecutor
from functools import partial

from book import (
    Grid,
    Row,
    book_totals,
    chunks,
    make_book,
    make_market,
    price_rows,
    price_rows_many,
)

Pricer = Callable[..., list[tuple[float, float]]]


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=4000, help="options in the book")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="processes")
    parser.add_argument("--chunk", type=int, default=100, help="options per task")
    parser.add_argument("--time-steps", type=int, default=Grid().time_steps)
    parser.add_argument("--grid-nodes", type=int, default=Grid().grid_nodes)
    parser.add_argument(
        "--repeat",
        type=int,
        default=1,
        help="runs of each; the fastest counts (steadier on a busy machine)",
    )
    args = parser.parse_args(argv)

    grid = Grid(args.time_steps, args.grid_nodes)
    market = make_market()
    book = make_book(args.size, market)
    tasks = list(chunks(book, args.chunk))

    def on_pool(pool: Executor, pricer: Pricer, work: list[list[Row]]) -> list[tuple[float, float]]:
        chunks_priced = pool.map(partial(pricer, market, grid=grid), work)
        return [result for chunk in chunks_priced for result in chunk]

    # value_many gets one chunk per thread: one call each, the lock released for all of it.
    per_thread = list(chunks(book, -(-len(book) // args.workers)))
    runs: list[tuple[str, Callable[..., Executor], Pricer, list[list[Row]]]] = [
        ("processes", ProcessPoolExecutor, price_rows, tasks),
        ("threads", ThreadPoolExecutor, price_rows, tasks),
        ("threads, value_many", ThreadPoolExecutor, price_rows_many, per_thread),
    ]
    seconds = {name: math.inf for name in ["serial", "serial, value_many"] + [r[0] for r in runs]}
    for _ in range(args.repeat):
        start = time.perf_counter()
        serial = [result for task in tasks for result in price_rows(market, task, grid)]
        seconds["serial"] = min(seconds["serial"], time.perf_counter() - start)
        start = time.perf_counter()
        in_one_call = price_rows_many(market, book, grid)
        seconds["serial, value_many"] = min(
            seconds["serial, value_many"], time.perf_counter() - start
        )
        if in_one_call != serial:
            raise SystemExit("value_many differs from the single calls")

        # The pools' start-up and shutdown count: they are part of what parallelism costs.
        for name, kind, pricer, work in runs:
            start = time.perf_counter()
            with kind(max_workers=args.workers) as pool:
                parallel = on_pool(pool, pricer, work)
            seconds[name] = min(seconds[name], time.perf_counter() - start)
            if parallel != serial:
                raise SystemExit(f"the results on {name} differ from the serial ones")
    value, delta = book_totals(book, serial)
    print(
        f"{len(book)} options on a {grid.grid_nodes} x {grid.time_steps} grid, "
        f"{len(tasks)} tasks of up to {args.chunk}"
    )
    print(f"book value {value:.4f}, book delta {delta:.4f}")
    serial_seconds = seconds["serial"]
    for name in ("serial", "serial, value_many"):
        per_option = seconds[name] / len(book) * 1e3
        print(f"{name:<22} {seconds[name]:8.3f} s  ({per_option:.3f} ms per option)")
    for name, *_ in runs:
        print(
            f"{f'{args.workers} {name}':<22} {seconds[name]:8.3f} s  "
            f"speed-up {serial_seconds / seconds[name]:.2f}x on {os.cpu_count()} cores"
        )


if __name__ == "__main__":
    main()
