"""Prices the book of parallel_book.py on a Dask distributed cluster.

By default the script starts a `LocalCluster` with one single-threaded worker process per core;
given a scheduler address it uses that cluster instead. Tasks carry chunks of plain rows of
numbers and datetimes; each worker builds the vyr objects itself, so every worker needs vyr
installed (book.py is sent to the workers by the script).

    python examples/dask_book.py                                  # local cluster
    python examples/dask_book.py --scheduler tcp://scheduler.example:8786  # a running cluster
"""

from __future__ import annotations

import argparse
import os
import time
from pathlib import Path

from dask.distributed import Client, LocalCluster

from book import Grid, book_totals, chunks, make_book, make_market, price_rows


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scheduler", help="address of a running scheduler (default: local)")
    parser.add_argument(
        "--workers",
        type=int,
        default=os.cpu_count() or 1,
        help="worker processes of the local cluster",
    )
    parser.add_argument("--size", type=int, default=4000, help="options in the book")
    parser.add_argument("--chunk", type=int, default=100, help="options per task")
    parser.add_argument("--time-steps", type=int, default=Grid().time_steps)
    parser.add_argument("--grid-nodes", type=int, default=Grid().grid_nodes)
    args = parser.parse_args(argv)

    grid = Grid(args.time_steps, args.grid_nodes)
    market = make_market()
    book = make_book(args.size, market)
    tasks = list(chunks(book, args.chunk))

    cluster = None
    if args.scheduler is None:
        cluster = LocalCluster(
            n_workers=args.workers, threads_per_worker=1, processes=True, dashboard_address=None
        )
    client = Client(args.scheduler or cluster)
    try:
        client.upload_file(str(Path(__file__).with_name("book.py")))
        start = time.perf_counter()
        futures = client.map(price_rows, [market] * len(tasks), tasks, grid=grid, pure=False)
        results = [result for chunk in client.gather(futures) for result in chunk]
        seconds = time.perf_counter() - start
        workers = len(client.scheduler_info()["workers"])
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    value, delta = book_totals(book, results)
    print(
        f"{len(book)} options on a {grid.grid_nodes} x {grid.time_steps} grid, "
        f"{len(tasks)} tasks on {workers} workers"
    )
    print(f"book value {value:.4f}, book delta {delta:.4f}")
    print(f"{seconds:.3f} s ({seconds / len(book) * 1e3:.3f} ms per option)")


if __name__ == "__main__":
    main()
