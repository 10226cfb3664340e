"""Prices a large book of American and European options serially, then in parallel with
`concurrent.futures.ProcessPoolExecutor`, and prints the speed-up.

The module holds the interpreter lock for the whole of every call, so threads give no parallel
speed (the script times a thread pool too, to show it); processes do. Each task carries a chunk
of plain rows (numbers and datetimes, see book.py) and the worker builds the vyr objects itself.

    python examples/parallel_book.py                  # 4000 options, one process per core
    python examples/parallel_book.py --size 20000 --workers 8 --chunk 250 --repeat 3
"""

from __future__ import annotations

import argparse
import math
import os
import time
from concurrent.futures import Executor, ProcessPoolExecutor, ThreadPoolExecutor
from functools import partial

from book import Grid, book_totals, chunks, make_book, make_market, price_rows


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

    def on_pool(pool: Executor) -> list[tuple[float, float]]:
        chunks_priced = pool.map(partial(price_rows, market, grid=grid), tasks)
        return [result for chunk in chunks_priced for result in chunk]

    seconds = {"serial": math.inf, "processes": math.inf, "threads": math.inf}
    for _ in range(args.repeat):
        start = time.perf_counter()
        serial = [result for task in tasks for result in price_rows(market, task, grid)]
        seconds["serial"] = min(seconds["serial"], time.perf_counter() - start)

        # The pools' start-up and shutdown count: they are part of what parallelism costs.
        for name, kind in (("processes", ProcessPoolExecutor), ("threads", ThreadPoolExecutor)):
            start = time.perf_counter()
            with kind(max_workers=args.workers) as pool:
                parallel = on_pool(pool)
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
    per_option = serial_seconds / len(book) * 1e3
    print(f"serial       {serial_seconds:8.3f} s  ({per_option:.3f} ms per option)")
    for name in ("processes", "threads"):
        print(
            f"{f'{args.workers} {name}':<12} {seconds[name]:8.3f} s  "
            f"speed-up {serial_seconds / seconds[name]:.2f}x on {os.cpu_count()} cores"
        )


if __name__ == "__main__":
    main()
