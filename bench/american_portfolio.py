"""American puts: accuracy and speed of vyr's methods and QuantLib's, against one truth.

Run from the repository root, after `pip install '.[bench]'`:

    python bench/american_portfolio.py                   # all 1,458 puts, under two minutes
    python bench/american_portfolio.py --quick           # 51 of them, a few seconds
    python bench/american_portfolio.py --json out.json --plot out.png

The portfolio is every combination of K = 100; S in {25, 50, 80, 90, 100, 110, 120, 150, 200};
T in {30, 91, 182, 365, 730, 1095} days; r in {2, 5, 8} %; q in {0, 4, 8} %; vol in {10, 25, 50} %.
The truth is QuantLib's fixed-point engine with its high-precision scheme, checked on a few
cases against an extrapolated binomial tree. Each method prices every case once for its errors;
its time per price is the median over repeated passes through a fixed subset of the cases, all
methods interleaved within each repeat, through Python, on objects set up once.
"""

import argparse
import json
import math
import sys
import time
from pathlib import Path

import binomial
import error_stats
import market_cases
import methods
import table
import timing
import vyr_setup
from run_info import Report, jsonable, machine

TRUTH = "QuantLib QdFp high precision"


# Settings of the fixed-point method beside its defaults: a cheaper one, a finer one, and the
# high-accuracy preset of the core (FixedPointSettings::high_accuracy()).
FIXED_POINT_FAST = {"collocation_nodes": 5, "collocation_nodes_off_strike": 8, "iterations": 1,
                    "boundary_quadrature_nodes": 6, "premium_quadrature_nodes": 12}
FIXED_POINT_FINE = {"collocation_nodes": 12, "collocation_nodes_off_strike": 20, "iterations": 3,
                    "boundary_quadrature_nodes": 16, "premium_quadrature_nodes": 48,
                    "step_tolerance": 1e-4}
FIXED_POINT_HIGH_ACCURACY = {"collocation_nodes": 24, "collocation_nodes_off_strike": 32,
                             "iterations": 3, "first_iteration_quadrature_nodes": 8,
                             "boundary_quadrature_nodes": 32, "premium_quadrature_nodes": 96,
                             "step_tolerance": 1e-5}


def method_list():
    """The rows, in print order. A further method is one more entry; None entries (a method the
    module does not have) are dropped."""
    return methods.available([
        methods.vyr_grid(101, 10),  # the default settings
        methods.vyr_grid(201, 50),
        methods.vyr_grid(401, 200),
        methods.vyr_grid(801, 800),
        methods.vyr_fixed_point("vyr fixed point"),  # its default settings
        methods.vyr_fixed_point("vyr fixed point, fast", **FIXED_POINT_FAST),
        methods.vyr_fixed_point("vyr fixed point, fine", **FIXED_POINT_FINE),
        methods.vyr_fixed_point("vyr fixed point, high accuracy", **FIXED_POINT_HIGH_ACCURACY),
        methods.quantlib_grid(100, 100),
        methods.quantlib_fixed_point("fast"),
        methods.quantlib_fixed_point("accurate"),
        methods.quantlib_fixed_point("high precision"),
    ])


# Cases checked against the tree: ordinary and hard corners of the portfolio (S, days, r, q, vol).
SPOT_CHECKS = [(100.0, 365, 0.05, 0.0, 0.25), (80.0, 1095, 0.08, 0.0, 0.50),
               (25.0, 730, 0.02, 0.08, 0.25), (120.0, 91, 0.08, 0.04, 0.10),
               (90.0, 1095, 0.02, 0.08, 0.10), (150.0, 182, 0.05, 0.04, 0.50),
               (110.0, 30, 0.08, 0.08, 0.25), (50.0, 1095, 0.05, 0.0, 0.50)]

MODES = {
    # case stride (1: all), timing stride within those, seconds of timing, spot checks
    "default": {"case_stride": 1, "timing_stride": 5, "budget": 16.0, "spot_checks": 8,
                "tree_steps": 8000},
    "quick": {"case_stride": 29, "timing_stride": 1, "budget": 2.0, "spot_checks": 3,
              "tree_steps": 4000},
}


def price_all(rows, cases):
    """Sets every method up on every case and prices each once: (priced, values, seconds)."""
    priced, values, seconds = {}, {}, {}
    for method in rows:
        start = time.perf_counter()
        priced[method.label] = [method.prepare(case) for case in cases]
        values[method.label] = [_value(p) for p in priced[method.label]]
        seconds[method.label] = time.perf_counter() - start
    return priced, values, seconds


def _value(priced):
    """The price, or NaN when the pricing raises (vyr's PanicException is no Exception)."""
    try:
        return priced.value()
    except BaseException as error:
        if isinstance(error, (KeyboardInterrupt, SystemExit, GeneratorExit)):
            raise
        return math.nan


def time_all(priced, values, subset, budget):
    """Median seconds per price of each method over passes through the subset of the cases
    (without the cases on which the method failed)."""
    passes, counts = {}, {}
    for label, items in priced.items():
        calls = [items[k].call for k in subset if math.isfinite(values[label][k])]
        counts[label] = max(len(calls), 1)

        def run(calls=calls):
            for call in calls:
                call()
        passes[label] = run
    medians = timing.interleaved_medians(passes, budget, min_repeats=3, max_repeats=15)
    return {label: seconds / counts[label] for label, seconds in medians.items()}


def spot_checks(report, cases, truths, count, steps):
    index = {(c.spot, c.days, c.r, c.q, c.sigma): k for k, c in enumerate(cases)}
    checks = []
    for key in SPOT_CHECKS[:count]:
        case = market_cases.Case(*key)
        k = index.get(key)
        truth = truths[k] if k is not None else \
            methods.quantlib_fixed_point("high precision").prepare(case).value()
        tree = binomial.american(case.spot, case.strike, case.r, case.q, case.sigma, case.years,
                                 case.is_call, steps=steps)
        checks.append({"case": case.label(), "truth": truth, "tree": tree, "gap": tree - truth})
    rows = [[c["case"], f"{c['truth']:.6f}", f"{c['tree']:.6f}", f"{c['gap']:+.1e}"]
            for c in checks]
    report(table.render(f"Truth against the binomial tree ({steps} steps, smoothed, extrapolated)",
                        ["case", "truth", "tree", "gap"], rows))
    largest = max(abs(c["gap"]) for c in checks)
    report(f"largest gap: {largest:.1e}\n")
    return {"checks": checks, "largest_gap": largest}


def run(mode, report):
    settings = MODES[mode]
    cases = market_cases.every_nth(market_cases.american_portfolio(), settings["case_stride"])
    subset = list(range(0, len(cases), settings["timing_stride"]))
    rows = method_list()
    if TRUTH not in [m.label for m in rows]:
        raise SystemExit(f"the truth ({TRUTH}) must be one of the methods")
    report(f"{len(cases)} American puts; {len(rows)} methods; timing over {len(subset)} cases")
    priced, values, setup_seconds = price_all(rows, cases)
    truths = values[TRUTH]
    seconds = time_all(priced, values, subset, settings["budget"])

    results = {}
    for method in rows:
        stats = error_stats.summary(values[method.label], truths)
        errors = [v - t for v, t in zip(values[method.label], truths)]
        worst = error_stats.worst(range(len(cases)),
                                  lambda k: abs(errors[k]) if math.isfinite(errors[k])
                                  else math.inf)
        results[method.label] = {
            **stats, "library": method.library, "series": method.series,
            "seconds_per_price": seconds[method.label],
            "first_pass_seconds": setup_seconds[method.label],
            "worst": [{"case": cases[k].label(), "value": values[method.label][k],
                       "truth": truths[k]} for k in worst]}

    table_rows = []
    for method in rows:
        r = results[method.label]
        note = " (the truth)" if method.label == TRUTH else ""
        table_rows.append([method.label + note, table.error(r["rmse"]), table.error(r["max_abs"]),
                           r["over"], table.micros(r["seconds_per_price"])])
    report(table.render(
        f"American puts, {len(cases)} cases, against {TRUTH}",
        ["method", "RMSE", "max abs error", "off by > 1e-3", "µs per price"], table_rows))
    report()
    for method in rows:
        if method.label == TRUTH:
            continue
        report(f"worst five, {method.label}:")
        for w in results[method.label]["worst"]:
            report(f"  {w['value']:12.6f} truth {w['truth']:12.6f} ({w['value'] - w['truth']:+.2e})"
                   f"  {w['case']}")
    report()
    checks = spot_checks(report, cases, truths, settings["spot_checks"], settings["tree_steps"])
    return {"cases": len(cases), "timing_cases": len(subset), "truth": TRUTH,
            "methods": results, "spot_checks": checks}


def plot(path, results):
    """RMSE against the time per price, log-log; one series per family of methods."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(8, 5.5))
    series = {}
    for label, r in results["methods"].items():
        series.setdefault(r["series"], []).append((label, r))
    markers = iter("osD^v<>ph*")
    for name, members in series.items():
        marker = next(markers)
        points = [(r["seconds_per_price"] * 1e6, r["rmse"], label) for label, r in members
                  if r["rmse"] > 0 and math.isfinite(r["rmse"])]
        if points:
            axes.plot([p[0] for p in points], [p[1] for p in points], "-", marker=marker,
                      label=name)
            for x, y, label in points:
                axes.annotate(label.replace(name, "").strip(" ,") or label, (x, y), fontsize=7,
                              textcoords="offset points", xytext=(4, 4))
        for label, r in members:
            if r["rmse"] == 0:  # the truth itself: its time only
                axes.axvline(r["seconds_per_price"] * 1e6, linestyle=":", color="grey",
                             label=f"{label} (the truth): time")
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("median time per price (µs, through Python)")
    axes.set_ylabel("RMSE against the truth")
    axes.set_title(f"American puts, {results['cases']} cases", fontsize=10)
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="51 of the cases, a few seconds")
    parser.add_argument("--json", type=Path, help="write every figure to this file")
    parser.add_argument("--plot", type=Path, help="write RMSE against time to this PNG")
    args = parser.parse_args(argv)
    mode = "quick" if args.quick else "default"
    report = Report()
    info = machine()
    report(f"American portfolio | vyr {'with' if vyr_setup.has_fixed_point() else 'without'} "
           f"fixed point | QuantLib {info['quantlib']} | {info['cpu']} | load "
           f"{info['load_average']} | mode {mode} | {info['date']}\n")
    start = time.perf_counter()
    results = run(mode, report)
    results["machine"], results["mode"] = info, mode
    results["seconds"] = time.perf_counter() - start
    report(f"(total {results['seconds']:.0f} s)")
    if args.json:
        args.json.write_text(json.dumps(jsonable(results), indent=1))
    if args.plot:
        plot(args.plot, results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
