"""vyr against QuantLib, side by side in one process: speed per option and accuracy.

Run from the repository root, after `pip install '.[bench]'`:

    python bench/compare.py            # the default run, a few minutes
    python bench/compare.py --quick    # a smaller run, under a minute
    python bench/compare.py --full     # every case of the parameter grid and finer grids

It prints six tables (analytic valuation with all Greeks, implied volatility, American puts and
European options on finite-difference grids against accurate references, one cash-dividend case,
and the cost and memory of growing grids), then the targets with their verdicts, and writes
bench/results/compare.png (the accuracy-speed frontiers and the scaling), compare.json (every
figure) and compare.txt (the printed tables). Both libraries are timed through Python, in turn
within each repeat, and each figure is the median over the repeats, so that the ratios hold on a
busy machine.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import vyr

import cost_model
import frontier
import market_cases
import plot
import quantlib_setup as qls
import table
import timing
import vyr_setup
from run_info import Report, machine
from run_info import jsonable as _jsonable

HERE = Path(__file__).resolve().parent
RESULTS = HERE / "results"

# Grids tried on both libraries, as (grid nodes, time steps); the first is vyr's default. Both
# libraries get the same pairs ("comparable grids"); QuantLib's engine is run with its default
# scheme and with its TR-BDF2 scheme, and its frontier takes the better of the two everywhere.
GRIDS = {
    "quick": [(101, 10), (201, 20), (401, 40), (801, 80)],
    "default": [(101, 10), (101, 25), (201, 20), (201, 50), (401, 40), (401, 100), (801, 80),
                (801, 200), (1601, 160), (1601, 400)],
    "full": [(101, 10), (101, 25), (201, 20), (201, 50), (401, 40), (401, 100), (801, 80),
             (801, 200), (1601, 160), (1601, 400), (3201, 320), (3201, 800)],
}
CASE_COUNTS = {"quick": 16, "default": 48, "full": None}  # None: the whole parameter grid
BUDGETS = {"quick": 0.15, "default": 0.5, "full": 1.5}  # seconds of timing per measurement
SCALING = {
    "quick": [(n, m) for n in (101, 501, 2001) for m in (10, 100, 1000)],
    "default": [(n, m) for n in (101, 201, 501, 1001, 2001) for m in (10, 100, 1000)],
    "full": [(n, m) for n in (101, 201, 501, 1001, 2001, 4001) for m in (10, 100, 1000)],
}
DIVIDEND_GRIDS = [(101, 10), (201, 20), (401, 40), (801, 80), (1601, 160)]
DIVIDEND_FINE = {"quick": [(2001, 2000)], "default": [(2001, 2000), (4001, 4000)],
                 "full": [(2001, 2000), (4001, 4000)]}

TARGETS = {"analytic": 4.0, "implied_vol": 5.0, "american_default": 10.0, "frontier": 5.0}


# 1. Closed form with all Greeks -------------------------------------------------------------


def analytic(report, budget):
    case = market_cases.Case(100.0, 365, 0.05, 0.01, 0.20, is_call=True, is_american=False,
                             strike=105.0)
    spots = [100.0 + 0.25 * k for k in range(-8, 8)] * 64  # the spot moves on every call

    frame = vyr_setup.market(case)
    builder = vyr_setup.analytic_builder(case, frame)

    def vyr_pass():
        for spot in spots:
            frame.spot = spot
            result = builder.compute()
            greeks = result.greeks
            (result.price, greeks.delta, greeks.gamma, greeks.theta, greeks.vega, greeks.rho)

    setup = qls.setup(case)
    setup.option.setPricingEngine(qls.analytic_engine(setup.process))
    quote, option = setup.spot, setup.option

    def quantlib_pass():
        for spot in spots:
            quote.setValue(spot)
            (option.NPV(), option.delta(), option.gamma(), option.theta(), option.vega(),
             option.rho())

    medians = timing.interleaved_medians({"vyr": vyr_pass, "QuantLib": quantlib_pass}, budget * 4)
    per_call = {k: v / len(spots) for k, v in medians.items()}

    frame.spot = 100.0
    quote.setValue(100.0)
    ours = builder.compute()
    values = {
        "vyr": (ours.price, ours.greeks.delta, ours.greeks.gamma, ours.greeks.theta,
                ours.greeks.vega, ours.greeks.rho),
        "QuantLib": (option.NPV(), option.delta(), option.gamma(), option.theta(), option.vega(),
                     option.rho()),
    }
    difference = max(abs(a - b) for a, b in zip(values["vyr"], values["QuantLib"]))
    speedup = per_call["QuantLib"] / per_call["vyr"]
    rows = [[lib, table.micros(per_call[lib]), f"{values[lib][0]:.6f}", f"{values[lib][1]:.6f}",
             f"{values[lib][4]:.4f}"] for lib in ("vyr", "QuantLib")]
    report(table.render(
        f"1. European call, closed form with all Greeks, per call (spot moved every call; "
        f"{case.label()})",
        ["library", "µs/call", "price", "delta", "vega"], rows))
    report(f"QuantLib / vyr: {table.ratio(speedup)} (target >= {TARGETS['analytic']:g}x); "
           f"largest difference among price and the five Greeks: {difference:.1e}\n")
    return {"seconds_per_call": per_call, "ratio": speedup, "values": values,
            "largest_difference": difference}


# 2. Implied volatility -------------------------------------------------------------------------

IMPLIED_VOL_CASES = [
    market_cases.Case(100.0, 365, 0.05, 0.01, 0.20, is_call=True, is_american=False,
                      strike=105.0),
    market_cases.Case(100.0, 91, 0.03, 0.0, 0.35, is_call=False, is_american=False, strike=90.0),
    market_cases.Case(100.0, 30, 0.05, 0.02, 0.60, is_call=True, is_american=False,
                      strike=100.0),
]


def implied_vol(report, budget):
    rows, results = [], []
    for case in IMPLIED_VOL_CASES:
        setup = qls.setup(case)
        target = qls.price(setup, qls.analytic_engine(setup.process))
        builder = vyr_setup.implied_vol_builder(case, target)
        option, process = setup.option, setup.process
        calls = 200

        def vyr_pass():
            for _ in range(calls):
                builder.calculate()

        def quantlib_pass():
            for _ in range(calls):
                option.impliedVolatility(target, process)

        medians = timing.interleaved_medians({"vyr": vyr_pass, "QuantLib": quantlib_pass},
                                             budget * 2)
        per_call = {k: v / calls for k, v in medians.items()}
        vols = {"vyr": builder.calculate(), "QuantLib": option.impliedVolatility(target, process)}
        speedup = per_call["QuantLib"] / per_call["vyr"]
        results.append({"case": case.label(), "target": target, "seconds_per_call": per_call,
                        "vols": vols, "ratio": speedup})
        rows.append([case.label(), f"{target:.6f}", table.micros(per_call["vyr"]),
                     table.micros(per_call["QuantLib"]), table.ratio(speedup),
                     f"{vols['vyr']:.6f}", f"{vols['QuantLib']:.6f}", f"{case.sigma:.2f}"])
    report(table.render(
        "2. Implied volatility, closed form, per call (each library's default tolerance: vyr "
        "1e-4 in price, QuantLib 1e-4 in volatility)",
        ["option", "target", "vyr µs", "QL µs", "QL/vyr", "vyr vol", "QL vol", "true vol"],
        rows))
    report(f"headline (first row): {table.ratio(results[0]['ratio'])} "
           f"(target >= {TARGETS['implied_vol']:g}x)\n")
    return results


# 3 and 4. Grid sweeps against accurate references ---------------------------------------------


def grid_sweep(report, title, cases, references, grids, budget):
    """Prices every case on every grid with both libraries; returns the errors, the times and
    the frontiers."""
    qls_setups = [qls.setup(c) for c in cases]
    rows, raw = [], []
    points = {"vyr": [], "QuantLib": []}
    for nodes, steps in grids:
        builders = [vyr_setup.grid_builder(c, nodes, steps) for c in cases]
        vyr_prices = [b.compute().price for b in builders]
        quantlib_options = {}
        quantlib_prices = {}
        for scheme in qls.SCHEMES:
            options = []
            for case, setup in zip(cases, qls_setups):
                option = qls.option(case)
                option.setPricingEngine(qls.grid_engine(setup.process, steps, nodes, scheme))
                options.append(option)
            quantlib_options[scheme] = options
            quantlib_prices[scheme] = [o.NPV() for o in options]

        def vyr_pass(builders=builders):
            for b in builders:
                b.compute()

        passes = {"vyr": vyr_pass}
        for scheme, options in quantlib_options.items():
            def quantlib_pass(options=options):
                for o in options:
                    o.recalculate()
            passes[scheme] = quantlib_pass
        medians = timing.interleaved_medians(passes, budget)
        per_option = {k: v / len(cases) for k, v in medians.items()}

        def errors(prices):
            return [p - ref for p, ref in zip(prices, references)]

        def summary(errors_, seconds):
            worst = sorted(range(len(cases)), key=lambda k: -abs(errors_[k]))[:3]
            return {"rms": frontier.rms(errors_), "max": max(abs(e) for e in errors_),
                    "seconds": seconds,
                    "worst": [[cases[k].label(), references[k], errors_[k]] for k in worst]}

        entry = {"nodes": nodes, "steps": steps, "vyr": {}, "QuantLib": {}}
        vyr_errors = errors(vyr_prices)
        entry["vyr"] = summary(vyr_errors, per_option["vyr"])
        points["vyr"].append(frontier.Point(per_option["vyr"], entry["vyr"]["rms"],
                                            f"{nodes}x{steps}"))
        row = [f"{nodes} x {steps}", table.error(entry["vyr"]["rms"]),
               table.error(entry["vyr"]["max"]), table.micros(per_option["vyr"])]
        for scheme in qls.SCHEMES:
            ql_errors = errors(quantlib_prices[scheme])
            entry["QuantLib"][scheme] = summary(ql_errors, per_option[scheme])
            points["QuantLib"].append(frontier.Point(per_option[scheme],
                                                     entry["QuantLib"][scheme]["rms"],
                                                     f"{nodes}x{steps} {scheme}"))
            row += [table.error(entry["QuantLib"][scheme]["rms"]),
                    table.micros(per_option[scheme])]
        row.append(table.ratio(per_option["Douglas"] / per_option["vyr"]))
        rows.append(row)
        raw.append(entry)
    headers = ["nodes x steps", "vyr RMS", "vyr max", "vyr µs"]
    for scheme in qls.SCHEMES:
        headers += [f"QL {scheme} RMS", f"QL {scheme} µs"]
    headers.append("QL Douglas/vyr time")
    report(table.render(title, headers, rows))
    first = raw[0]
    report(f"   largest errors at {first['nodes']} x {first['steps']}:")
    for lib, stats in (("vyr", first["vyr"]), ("QL Douglas", first["QuantLib"]["Douglas"])):
        for label, reference, error in stats["worst"]:
            report(f"     {lib:<11}{error:+9.4f} of {reference:8.4f}  {label}")

    fronts = {lib: frontier.pareto(p) for lib, p in points.items()}
    accuracy = frontier.levels(fronts["vyr"], fronts["QuantLib"])
    speedups = frontier.speedups(fronts["vyr"], fronts["QuantLib"], accuracy)
    report(table.render(
        "   accuracy-speed frontier: time per option each library needs for an RMS error "
        "(QuantLib: the better of its two schemes)",
        ["RMS error", "vyr µs", "QuantLib µs", "QuantLib/vyr"],
        [[table.error(level), table.micros(a), table.micros(b), table.ratio(r)]
         for level, a, b, r in speedups]))
    ratios = [r for *_, r in speedups if r is not None]
    worst = min(ratios) if ratios else None
    best_error = {lib: f[-1].error for lib, f in fronts.items()}
    report(f"   worst ratio along the frontier: {table.ratio(worst)} (target >= "
           f"{TARGETS['frontier']:g}x); most accurate RMS reached: vyr "
           f"{best_error['vyr']:.2e} ({fronts['vyr'][-1].label}), QuantLib "
           f"{best_error['QuantLib']:.2e} ({fronts['QuantLib'][-1].label})\n")
    return {"cases": len(cases), "grids": raw, "points": points, "fronts": fronts,
            "speedups": speedups, "worst_ratio": worst}


def american(report, mode):
    cases = market_cases.american_puts(CASE_COUNTS[mode])
    start = time.perf_counter()
    references = []
    for case in cases:
        setup = qls.setup(case)
        references.append(qls.price(setup, qls.reference_engine(setup.process)))
    report(f"(American references: {len(cases)} high-precision fixed-point prices in "
           f"{time.perf_counter() - start:.1f} s)")
    return grid_sweep(
        report, f"3. American puts on grids, {len(cases)} cases (spot 80-120, 1 week to 3 years, "
        "r 0-10%, q 0-8%, vol 10-60%) against QuantLib's high-precision fixed-point engine",
        cases, references, GRIDS[mode], BUDGETS[mode])


def european(report, mode):
    cases = market_cases.european_options(CASE_COUNTS[mode])
    references = []
    closed_form_gap = 0.0
    for case in cases:
        setup = qls.setup(case)
        references.append(qls.price(setup, qls.analytic_engine(setup.process)))
        ours = vyr_setup.analytic_builder(case, vyr_setup.market(case)).compute().price
        closed_form_gap = max(closed_form_gap, abs(ours - references[-1]))
    report(f"(European references: closed form; vyr's and QuantLib's closed forms differ by at "
           f"most {closed_form_gap:.1e} over these cases)")
    result = grid_sweep(
        report, f"4. European calls and puts on grids, {len(cases)} cases (same ranges) against "
        "the closed form", cases, references, GRIDS[mode], BUDGETS[mode])
    result["closed_form_gap"] = closed_form_gap
    return result


# 5. One cash dividend -------------------------------------------------------------------------


def dividend(report, mode):
    case, dividends = market_cases.DIVIDEND_CASE, (market_cases.DIVIDEND,)
    setup = qls.setup(case)
    rows, out = [], {"vyr": [], "QuantLib": []}

    def vyr_grid(nodes, steps):
        builder = vyr_setup.grid_builder(case, nodes, steps, dividends)
        return builder.compute().price, builder.compute

    def quantlib_grid(nodes, steps):
        option = qls.option(case)
        option.setPricingEngine(qls.grid_engine(setup.process, steps, nodes, "Douglas",
                                                dividends))
        return option.NPV(), option.recalculate

    fine = DIVIDEND_FINE[mode]
    references = {"vyr": vyr_grid(*fine[-1])[0], "QuantLib": quantlib_grid(*fine[-1])[0]}
    for nodes, steps in DIVIDEND_GRIDS + fine[:-1]:
        vyr_price, vyr_call = vyr_grid(nodes, steps)
        ql_price, ql_call = quantlib_grid(nodes, steps)
        seconds = timing.per_call_medians({"vyr": vyr_call, "QuantLib": ql_call},
                                          BUDGETS[mode], min_repeats=3)
        for lib, price in (("vyr", vyr_price), ("QuantLib", ql_price)):
            out[lib].append({"nodes": nodes, "steps": steps, "price": price,
                             "error": price - references[lib], "seconds": seconds[lib]})
        rows.append([f"{nodes} x {steps}", f"{vyr_price:.6f}",
                     f"{vyr_price - references['vyr']:+.2e}", table.micros(seconds["vyr"]),
                     f"{ql_price:.6f}", f"{ql_price - references['QuantLib']:+.2e}",
                     table.micros(seconds["QuantLib"]),
                     table.ratio(seconds["QuantLib"] / seconds["vyr"])])
    nodes, steps = fine[-1]
    report(table.render(
        f"5. {case.label()}, cash dividend {market_cases.DIVIDEND.amount:g} at day "
        f"{market_cases.DIVIDEND.days}; error against each library's own {nodes} x {steps} grid",
        ["nodes x steps", "vyr price", "vyr error", "vyr µs", "QL price", "QL error", "QL µs",
         "QL/vyr"], rows))
    report(f"fine grids ({nodes} x {steps}): vyr {references['vyr']:.6f}, QuantLib "
           f"{references['QuantLib']:.6f}, difference "
           f"{references['vyr'] - references['QuantLib']:+.2e} (both apply the cash amount as "
           "a jump of the spot on its ex-date)\n")
    return {"rows": out, "fine": {"grid": [nodes, steps], **references}}


# 6. Scaling and memory ------------------------------------------------------------------------


def memory(pairs):
    """Heap per pricing from a helper process, or None when no C compiler is at hand."""
    compiler = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if compiler is None or not sys.platform.startswith("linux"):
        return None
    library = RESULTS / "alloc_meter.so"
    subprocess.run([compiler, "-O2", "-shared", "-fPIC", str(HERE / "alloc_meter.c"), "-o",
                    str(library)], check=True)
    environment = dict(os.environ, LD_PRELOAD=str(library), ALLOC_METER=str(library))
    environment["PYTHONPATH"] = os.pathsep.join(
        [str(HERE)] + [p for p in environment.get("PYTHONPATH", "").split(os.pathsep) if p])
    done = subprocess.run([sys.executable, str(HERE / "memory_probe.py"), json.dumps(pairs)],
                          env=environment, capture_output=True, text=True, check=True)
    return json.loads(done.stdout.strip().splitlines()[-1])


def scaling(report, mode):
    case = market_cases.Case(100.0, 365, 0.05, 0.0, 0.20)
    setup = qls.setup(case)
    pairs = SCALING[mode]
    rows = {"vyr": [], "QuantLib": []}
    for nodes, steps in pairs:
        builder = vyr_setup.grid_builder(case, nodes, steps)
        option = qls.option(case)
        option.setPricingEngine(qls.grid_engine(setup.process, steps, nodes))
        option.NPV()
        seconds = timing.per_call_medians({"vyr": builder.compute,
                                           "QuantLib": option.recalculate}, BUDGETS[mode],
                                          pass_seconds=0.02)
        for lib in rows:
            rows[lib].append({"nodes": nodes, "steps": steps, "node_steps": nodes * steps,
                              "seconds": seconds[lib]})
    fits = {lib: cost_model.fit(r) for lib, r in rows.items()}
    heap = memory(pairs)
    table_rows = []
    for k, (nodes, steps) in enumerate(pairs):
        ours, theirs = rows["vyr"][k], rows["QuantLib"][k]
        row = [f"{nodes} x {steps}", table.micros(ours["seconds"]),
               f"{ours['seconds'] / (nodes * steps) * 1e9:.1f}",
               table.micros(theirs["seconds"]),
               f"{theirs['seconds'] / (nodes * steps) * 1e9:.1f}",
               table.ratio(theirs["seconds"] / ours["seconds"])]
        if heap:
            row += [f"{heap['vyr'][k]['peak_bytes'] / 1024:.1f}", heap["vyr"][k]["allocations"],
                    f"{heap['QuantLib'][k]['peak_bytes'] / 1024:.1f}",
                    heap["QuantLib"][k]["allocations"]]
        table_rows.append(row)
    headers = ["nodes x steps", "vyr µs", "vyr ns/node-step", "QL µs", "QL ns/node-step",
               "QL/vyr"]
    if heap:
        headers += ["vyr peak KiB", "vyr allocs", "QL peak KiB", "QL allocs"]
    report(table.render(f"6. Cost of the grid, American put ({case.label()}), one pricing; "
                        "memory: peak heap during one pricing", headers, table_rows))
    for lib, fit in fits.items():
        report(f"{lib}: t = {fit['intercept'] * 1e6:.2f} µs + {fit['per_node'] * 1e9:.1f} ns·N "
               f"+ {fit['slope'] * 1e9:.2f} ns·N·M, largest deviation from the fit "
               f"{fit['worst_relative_residual']:.0%}")
    if heap is None:
        report("(memory not measured: no C compiler found for the heap meter)")
    report()
    return {"rows": rows, "fits": fits, "heap": heap}


# The default grid, one call at a time ----------------------------------------------------------


def american_default(report, budget):
    """vyr's default grid against QuantLib's engine at 10 steps and 101 nodes, one option."""
    case = market_cases.Case(100.0, 365, 0.05, 0.0, 0.20)
    builder = vyr_setup.grid_builder(case, 101, 10)
    default_builder = (vyr_setup.option(case).valuation().market(vyr_setup.market(case))
                       .at(vyr_setup.VALUATION_TIME))
    setup = qls.setup(case)
    setup.option.setPricingEngine(qls.grid_engine(setup.process, 10, 101))
    per_call = timing.per_call_medians(
        {"vyr": default_builder.compute, "vyr (FdmConfig)": builder.compute,
         "QuantLib": setup.option.recalculate}, budget * 3)
    reference = qls.price(qls.setup(case), qls.reference_engine(setup.process))
    prices = {"vyr": default_builder.compute().price, "QuantLib": setup.option.NPV()}
    speedup = per_call["QuantLib"] / per_call["vyr"]
    report(table.render(
        f"American put at the default grid, per call ({case.label()})",
        ["library", "grid", "µs/call", "price", "error"],
        [["vyr", "101 nodes, 10 steps (no FdmConfig)", table.micros(per_call["vyr"]),
          f"{prices['vyr']:.6f}", f"{prices['vyr'] - reference:+.2e}"],
         ["vyr", "FdmConfig(10, 101)", table.micros(per_call["vyr (FdmConfig)"]), "", ""],
         ["QuantLib", "10 steps, 101 nodes, Douglas", table.micros(per_call["QuantLib"]),
          f"{prices['QuantLib']:.6f}", f"{prices['QuantLib'] - reference:+.2e}"]]))
    report(f"QuantLib / vyr: {table.ratio(speedup)} (target >= "
           f"{TARGETS['american_default']:g}x); reference {reference:.6f}\n")
    return {"seconds_per_call": per_call, "ratio": speedup, "prices": prices,
            "reference": reference}


# ------------------------------------------------------------------------------------------------


def summary(report, results):
    analytic_ratio = results["analytic"]["ratio"]
    iv_ratio = results["implied_vol"][0]["ratio"]
    default_ratio = results["american_default"]["ratio"]
    frontier_ratio = results["american"]["worst_ratio"]
    european_ratio = results["european"]["worst_ratio"]
    rows = [
        ["closed form with all Greeks, per call", f">= {TARGETS['analytic']:g}x",
         table.ratio(analytic_ratio), table.verdict(analytic_ratio, TARGETS["analytic"])],
        ["implied volatility (closed form), per call", f">= {TARGETS['implied_vol']:g}x",
         table.ratio(iv_ratio), table.verdict(iv_ratio, TARGETS["implied_vol"])],
        ["American put, 101 x 10 vs QL 10 x 101, per call", f">= {TARGETS['american_default']:g}x",
         table.ratio(default_ratio), table.verdict(default_ratio, TARGETS["american_default"])],
        ["American frontier, worst accuracy level", f">= {TARGETS['frontier']:g}x",
         table.ratio(frontier_ratio), table.verdict(frontier_ratio, TARGETS["frontier"])],
        ["European frontier, worst accuracy level (no target)", "-",
         table.ratio(european_ratio), "-"],
    ]
    report(table.render("Targets: QuantLib's time over vyr's, same process", ["measure", "target",
                        "measured", "verdict"], rows))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    size = parser.add_mutually_exclusive_group()
    size.add_argument("--quick", action="store_const", const="quick", dest="mode",
                      help="fewer cases, grids and repeats (under a minute)")
    size.add_argument("--full", action="store_const", const="full", dest="mode",
                      help="every case of the parameter grid and finer grids (tens of minutes)")
    parser.add_argument("--out", type=Path, default=RESULTS,
                        help="folder for compare.png, compare.json and compare.txt")
    args = parser.parse_args(argv)
    mode = args.mode or "default"
    args.out.mkdir(parents=True, exist_ok=True)
    RESULTS.mkdir(parents=True, exist_ok=True)

    report = Report()
    info = machine()
    info["mode"] = mode
    info["vyr"] = getattr(vyr, "__version__", "built from this tree")
    report(f"vyr vs QuantLib {info['quantlib']} | {info['cpu']} | {info['system']} | Python "
           f"{info['python']} | load {info['load_average']} | mode {mode} | {info['date']}\n")
    started = time.perf_counter()
    results = {"machine": info}
    results["analytic"] = analytic(report, BUDGETS[mode])
    results["implied_vol"] = implied_vol(report, BUDGETS[mode])
    results["american_default"] = american_default(report, BUDGETS[mode])
    results["american"] = american(report, mode)
    results["european"] = european(report, mode)
    results["dividend"] = dividend(report, mode)
    results["scaling"] = scaling(report, mode)
    summary(report, results)
    results["seconds"] = time.perf_counter() - started
    report(f"\n(total {results['seconds']:.0f} s)")

    picture = args.out / "compare.png"
    plot.write(picture, results["american"], results["european"], results["scaling"], info)
    (args.out / "compare.json").write_text(json.dumps(_jsonable(results), indent=1))
    (args.out / "compare.txt").write_text(report.text())
    print(f"wrote {picture}, {args.out / 'compare.json'} and {args.out / 'compare.txt'}")


if __name__ == "__main__":
    main()
