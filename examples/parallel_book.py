"""Prices a large book of American and European options serially, then in parallel with
`concurrent.futures.ProcessPoolExecutor`, and prints the speed-up.

The module holds the interpreter lock for the whole of every call, so threads give no parallel
speed; processes do. Each task carries a chunk of plain rows (numbers and datetimes, see
book.py) and the worker builds the vyr objects itself.

    python examples/parallel_book.py                  # 4000 options, one process per core
    python examples/parallel_book.py --size 20000 --workers 8 --chunk 250
"""

from __future__ import annotations

import argparse
import os
import time
from concurrent.futures import ProcessPoolExecutor
from functools import partial

from book import Grid, book_totals, chunks, make_book, make_market, price_rows


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=4000, help="options in the book")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="processes")
    parser.add_argument("--chunk", type=int, default=100, help="options per task")
    parser.add_argument("--time-steps", type=int, default=Grid().time_steps)
    parser.add_argument("--grid-nodes", type=int, default=Grid().grid_nodes)
    args = parser.parse_args(argv)

    grid = Grid(args.time_steps, args.grid_nodes)
    market = make_market()
    book = make_book(args.size, market)
    tasks = list(chunks(book, args.chunk))

    start = time.perf_counter()
    serial = [result for task in tasks for result in price_rows(market, task, grid)]
    serial_seconds = time.perf_counter() - start

    start = time.perf_counter()
    with ProcessPoolExecutor(max_workers=args.workers) as pool:
        parallel = [
            result
            for chunk in pool.map(partial(price_rows, market, grid=grid), tasks)
            for result in chunk
        ]
    parallel_seconds = time.perf_counter() - start

    if parallel != serial:
        raise SystemExit("the parallel results differ from the serial ones")
    value, delta = book_totals(book, serial)
    print(
        f"{len(book)} options on a {grid.grid_nodes} x {grid.time_steps} grid, "
        f"{len(tasks)} tasks of up to {args.chunk}"
    )
    print(f"book value {value:.4f}, book delta {delta:.4f}")
    print(
        f"serial       {serial_seconds:8.3f} s  "
        f"({serial_seconds / len(book) * 1e3:.3f} ms per option)"
    )
    print(
        f"{args.workers} processes  {parallel_seconds:8.3f} s  "
        f"speed-up {serial_seconds / parallel_seconds:.2f}x on {os.cpu_count()} cores"
    )


if __name__ == "__main__":
    main()
