"""The accuracy study of the fixed-point American pricer, in the core, against QuantLib.

The portfolio is 1458 American puts, K = 100: S in {25, 50, 80, 90, 100, 110, 120, 150, 200}, T in
{30, 91, 182, 365, 730, 1095} days (Actual/365 Fixed), r in {2, 5, 8} %, q in {0, 4, 8} %, sigma
in {10, 25, 50} %. The reference is QuantLib's QdFpAmericanEngine with its high-precision scheme,
on flat continuous curves and a null calendar (quantlib_setup.py).

Run from the repository root, with QuantLib installed and the core's micro-benchmarks built:

    cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVYR_BUILD_EXTENSION=OFF \\
          -DVYR_BUILD_BENCHMARKS=ON && cmake --build build/bench -j2
    python bench/fixed_point_study.py
    python bench/fixed_point_study.py --core-bench path/to/vyr_core_bench --budget 1.0

It writes the reference prices to bench/results/fixed_point_reference.csv (spot, days, r, q,
sigma, price per line), times QuantLib's fast, accurate and high-precision schemes on the
portfolio through Python and measures the errors of the first two (the third is the reference), then runs the core benchmarks BM_FixedPointPortfolio and
BM_FixedPointPortfolioWithGreeks (library/bench/fixed_point_bench.cpp) with that file, which
price the portfolio at four settings of the fixed-point pricer in the core (no Python) and
report their RMS and largest errors. It prints one table and writes it, with every figure, to
bench/results/fixed_point_study.json. The QuantLib times include the Python call; the core
times do not.
"""

import argparse
import itertools
import json
import math
import os
import subprocess
import sys
from pathlib import Path

import QuantLib as ql

import market_cases
import quantlib_setup as qls
import timing

HERE = Path(__file__).resolve().parent
RESULTS = HERE / "results"
DEFAULT_CORE_BENCH = HERE.parent / "build" / "bench" / "library" / "vyr_core_bench"

SPOTS = (25.0, 50.0, 80.0, 90.0, 100.0, 110.0, 120.0, 150.0, 200.0)
DAYS = (30, 91, 182, 365, 730, 1095)
RATES = (0.02, 0.05, 0.08)
YIELDS = (0.0, 0.04, 0.08)
VOLS = (0.10, 0.25, 0.50)


def portfolio():
    """The puts in the order the core benchmark expects: spot, days, r, q, sigma, innermost last."""
    return [market_cases.Case(spot, days, r, q, sigma)
            for spot, days, r, q, sigma in itertools.product(SPOTS, DAYS, RATES, YIELDS, VOLS)]


def quantlib_options(cases, scheme):
    """One option per case with a QdFpAmericanEngine of the given scheme attached."""
    options = []
    for case in cases:
        setup = qls.setup(case)
        setup.option.setPricingEngine(ql.QdFpAmericanEngine(setup.process, scheme))
        options.append(setup.option)
    return options


def errors(values, reference):
    diffs = [v - r for v, r in zip(values, reference)]
    return math.sqrt(sum(d * d for d in diffs) / len(diffs)), max(abs(d) for d in diffs)


def run_core(core_bench, reference_file):
    env = dict(os.environ, VYR_FIXED_POINT_REFERENCE=str(reference_file))
    out = subprocess.run([str(core_bench), "--benchmark_filter=FixedPointPortfolio",
                          "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true"],
                         env=env, check=True, capture_output=True, text=True).stdout
    rows = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        greeks = "WithGreeks" in b["run_name"]
        row = rows.setdefault(b["label"], {})
        row["greeks_us" if greeks else "price_us"] = b["time/price"] * 1e6
        if not greeks:
            row["rmse"], row["max_error"] = b["rmse"], b["max_error"]
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--core-bench", type=Path, default=DEFAULT_CORE_BENCH,
                        help="the core micro-benchmark binary (vyr_core_bench)")
    parser.add_argument("--budget", type=float, default=0.5,
                        help="seconds of timing per QuantLib scheme")
    args = parser.parse_args()
    if not args.core_bench.exists():
        sys.exit(f"{args.core_bench} not found: build the core benchmarks first (see the docstring)")

    RESULTS.mkdir(exist_ok=True)
    cases = portfolio()
    print(f"QuantLib {ql.__version__}: reference prices for {len(cases)} American puts ...")
    reference = [o.NPV() for o in
                 quantlib_options(cases, ql.QdFpAmericanEngine.highPrecisionScheme())]
    reference_file = RESULTS / "fixed_point_reference.csv"
    with reference_file.open("w") as f:
        for case, price in zip(cases, reference):
            f.write(f"{case.spot!r},{case.days},{case.r!r},{case.q!r},{case.sigma!r},{price!r}\n")

    table = []
    for name, scheme in (("fast", ql.QdFpAmericanEngine.fastScheme()),
                         ("accurate", ql.QdFpAmericanEngine.accurateScheme()),
                         ("high precision", ql.QdFpAmericanEngine.highPrecisionScheme())):
        options = quantlib_options(cases, scheme)
        values = [o.NPV() for o in options]

        def one_pass(options=options):
            for o in options:
                o.recalculate()
                o.NPV()

        seconds = timing.interleaved_medians({name: one_pass}, args.budget)[name]
        rmse, largest = errors(values, reference)
        table.append({"method": "QuantLib QdFpAmericanEngine (Python)", "setting": name,
                      "rmse": rmse, "max_error": largest,
                      "price_us": seconds / len(cases) * 1e6, "greeks_us": None})

    for setting, row in run_core(args.core_bench, reference_file).items():
        table.append({"method": "vyr fixed point (core)", "setting": setting, **row})

    print(f"\n{'method':38} {'setting':14} {'RMSE':>9} {'max error':>9} {'µs':>8} "
          f"{'µs Greeks':>9}")
    for row in table:
        greeks = f"{row['greeks_us']:9.2f}" if row["greeks_us"] is not None else f"{'':>9}"
        print(f"{row['method']:38} {row['setting']:14} {row['rmse']:9.2e} "
              f"{row['max_error']:9.2e} {row['price_us']:8.2f} {greeks}")
    (RESULTS / "fixed_point_study.json").write_text(json.dumps(table, indent=2))


if __name__ == "__main__":
    main()
