"""The grid engine over extreme inputs: non-finite values, bound violations and accuracy.

Run from the repository root, after `pip install '.[bench]'`:

    python bench/bounds_sweep.py                  # 3,672 cases, a few minutes
    python bench/bounds_sweep.py --quick          # every ninth case, under a minute
    python bench/bounds_sweep.py --json out.json

The cases span r in [0, 0.2], q in [0, 10], vol in [0.01, 100], T up to 30 years and spot from
0.2 K to 5 K (K = 100), calls and puts, European and American: the product of each range's ends
and middle, and a seeded sample inside (market_cases.bounds_sweep). Every case, European ones
too, is priced on the grid at the default settings and at 801 nodes x 640 steps. For each
setting the run counts non-finite values and exceptions, the bound violations by kind
(bounds.py) and, against the truth (references.py), the share within 1e-3 relative or 1e-5
absolute. A table of known faults is always evaluated, with a verdict per row.
"""

import argparse
import collections
import json
import math
import random
import sys
import time
from dataclasses import dataclass, replace
from pathlib import Path

import bounds
import error_stats
import market_cases
import quantlib_setup as qls
import references
import table
import vyr_setup
from market_cases import Case
from run_info import Report, jsonable, machine

# The grid settings, by name: the sweep runs the first two, the fixed cases name theirs.
GRIDS = {
    "default": vyr_setup.default_grid_config,
    "801x640": lambda: vyr_setup.grid_config(801, 640),
    "401x200": lambda: vyr_setup.grid_config(401, 200),
    "801x800": lambda: vyr_setup.grid_config(801, 800),
    "1601x2560": lambda: vyr_setup.grid_config(1601, 2560),
}
SWEPT = ("default", "801x640")
ACCURACY_SETTING = "801x640"
TARGET_SHARE = 0.995
# The accuracy is also broken down by these [low, high) ranges of vol·√T and of q.
VOL_SQRT_T_BUCKETS = ((0.0, 0.1), (0.1, 1.0), (1.0, 10.0), (10.0, 50.0), (50.0, math.inf))
YIELD_BUCKETS = ((0.0, 0.1), (0.1, 1.0), (1.0, math.inf))
MODES = {"default": {"stride": 1, "confirmations": 150},
         "quick": {"stride": 9, "confirmations": 15}}


# Known faults ----------------------------------------------------------------------------------


@dataclass(frozen=True)
class Expect:
    """What a fixed case must give: `kind` is "value" (within the sweep's tolerance of `value`,
    or of half a unit of its last stated digit, whichever is looser), "closed form" (within the
    tolerance of vyr's closed form), "finite" (finite and inside the bounds) or "at least"."""
    kind: str
    value: float = math.nan
    half_unit: float = 0.0
    stated: str = ""


@dataclass(frozen=True)
class Fixed:
    case: Case
    settings: tuple
    expect: Expect


def _american(spot, days, r, q, vol, call=False):
    return Case(spot, days, r, q, vol, is_call=call, is_american=True)


def _european(spot, days, r, q, vol, call=True):
    return Case(spot, days, r, q, vol, is_call=call, is_american=False)


FIXED = [
    Fixed(_american(100, 7300, 0.0, 0.2, 0.1), ("801x640",), Expect("value", 98.168, 5e-4)),
    Fixed(_american(105, 7300, 0.0, 0.5, 0.01, call=True), ("801x640",),
          Expect("value", 5.0, stated="5 (intrinsic)")),
    Fixed(_american(130, 365, 0.1, 10.0, 0.25, call=True), ("default",),
          Expect("value", 30.0, stated="30 (intrinsic)")),
    Fixed(_american(100, 365, 0.1, 10.0, 0.25, call=True), ("default", "401x200", "1601x2560"),
          Expect("value", 0.116, 5e-4)),
    Fixed(_european(80, 7300, 0.0, 0.5, 0.01), ("default",), Expect("closed form", stated="≈ 0")),
    Fixed(_american(100, 365, 0.01, 0.05, 100.0, call=True), ("801x640",), Expect("finite")),
    Fixed(_european(100, 365, 0.01, 0.05, 100.0), ("801x640",), Expect("finite")),
    Fixed(_european(45, 365, 0.05, 0.0, 0.2), ("801x640",),
          Expect("closed form", stated="2.83e-4")),
    Fixed(_european(44.9, 365, 0.05, 0.0, 0.2), ("801x640",), Expect("closed form")),
    Fixed(_american(95, 91.25, 0.05, 0.0, 0.1), ("default",), Expect("at least", 5.0)),
    Fixed(_american(25, 730, 0.02, 0.08, 0.25), ("801x800",), Expect("value", 75.1886, 5e-5)),
]


def fixed_verdict(fixed, value):
    """(expected value or None, passed) for one fixed case priced to `value`."""
    expect, case = fixed.expect, fixed.case
    if expect.kind == "finite":
        return None, bounds.inside(case, value)
    if expect.kind == "at least":
        return expect.value, value >= expect.value - bounds.ROUND_OFF * case.strike
    truth = references.closed_form(case) if expect.kind == "closed form" else expect.value
    allowed = max(error_stats.allowance(truth), expect.half_unit)
    return truth, math.isfinite(value) and abs(value - truth) <= allowed


def known_faults(report):
    rows, out = [], []
    for fixed in FIXED:
        reference = references.truth(fixed.case)
        for setting in fixed.settings:
            value, failure = price(fixed.case, GRIDS[setting]())
            expected, passed = fixed_verdict(fixed, value)
            stated = fixed.expect.stated or (f">= {fixed.expect.value:g}"
                                             if fixed.expect.kind == "at least" else
                                             fixed.expect.kind if expected is None else
                                             f"{expected:.6g}")
            out.append({"case": fixed.case.label(), "setting": setting, "value": value,
                        "failure": failure, "expected": expected, "stated": stated,
                        "reference": reference.value, "reference_regime": reference.regime,
                        "passed": passed})
            rows.append([fixed.case.label(), setting, failure or f"{value:.6g}", stated,
                         f"{reference.value:.6g}", "pass" if passed else "FAIL"])
    report(table.render("Known faults (always evaluated)",
                        ["case", "grid", "vyr", "true value", "reference", "verdict"], rows))
    report(f"{sum(r['passed'] for r in out)} of {len(out)} pass. Reference: the sweep's truth "
           "for the case (references.py), shown for comparison.\n")
    return out


# The sweep -------------------------------------------------------------------------------------


def price(case, config):
    """(value, None) or (NaN, "Type: message") when the pricing raises."""
    try:
        return vyr_setup.builder(case, config).compute().price, None
    except BaseException as error:  # PanicException derives from BaseException
        if isinstance(error, (KeyboardInterrupt, SystemExit, GeneratorExit)):
            raise
        return math.nan, f"{type(error).__name__}: {error}"


def sweep_setting(cases, truths, setting):
    config = GRIDS[setting]()
    values, failures = [], collections.Counter()
    non_finite, violations = 0, collections.Counter()
    for case in cases:
        value, failure = price(case, config)
        values.append(value)
        if failure:
            failures[failure] += 1
        elif not math.isfinite(value):
            non_finite += 1
        else:
            violations.update(bounds.violations(case, value))
    judged = [k for k, t in enumerate(truths) if math.isfinite(t.value)]
    excess = {k: error_stats.excess(values[k], truths[k].value) for k in judged}
    within = sum(e <= 1.0 for e in excess.values())
    misses_by_kind = collections.Counter(cases[k].kind for k, e in excess.items() if e > 1.0)
    undisputed = [k for k in judged if not truths[k].disputed]
    return {"values": values, "non_finite": non_finite, "failures": dict(failures),
            "violations": {kind: violations[kind] for kind in bounds.KINDS},
            "judged": len(judged), "within": within,
            "share": within / len(judged) if judged else math.nan,
            "share_undisputed": (sum(excess[k] <= 1.0 for k in undisputed) / len(undisputed)
                                 if undisputed else math.nan),
            "misses_by_kind": dict(misses_by_kind),
            "share_by_bucket": {
                "vol_sqrt_t": _shares(cases, excess, lambda c: c.sigma * math.sqrt(c.years),
                                      VOL_SQRT_T_BUCKETS),
                "q": _shares(cases, excess, lambda c: c.q, YIELD_BUCKETS)},
            "worst": error_stats.worst([k for k in judged if math.isfinite(values[k])],
                                       lambda k: excess[k], 12),
            "non_finite_spread": _spread([cases[k] for k, v in enumerate(values)
                                          if not math.isfinite(v)]),
            "excess": excess}


def _shares(cases, excess, measure, buckets):
    """Share within tolerance and case count per [low, high) bucket of measure(case)."""
    out = {}
    for low, high in buckets:
        inside = [k for k in excess if low <= measure(cases[k]) < high]
        name = f"[{low:g}, {high:g})"
        out[name] = (sum(excess[k] <= 1.0 for k in inside) / len(inside) if inside else math.nan,
                     len(inside))
    return out


def _spread(cases):
    """The range of σ√T over the cases, or None for none."""
    deviations = [c.sigma * math.sqrt(c.years) for c in cases]
    return (min(deviations), max(deviations)) if deviations else None


def compute_truths(report, cases):
    start = time.perf_counter()
    truths = []
    for k, case in enumerate(cases):
        truths.append(references.truth(case))
        if (k + 1) % 500 == 0:
            report(f"  truths: {k + 1} of {len(cases)} ({time.perf_counter() - start:.0f} s)")
    seconds = time.perf_counter() - start
    regimes = collections.Counter((("American" if c.is_american else "European"), t.regime)
                                  for c, t in zip(cases, truths))
    report(table.render(f"Truth by regime ({seconds:.0f} s)", ["style", "truth", "cases"],
                        [[style, regime, n] for (style, regime), n in sorted(regimes.items())]))
    report()
    return truths, seconds, regimes


def confirm_independently(report, cases, truths, count):
    """The tree against the high-precision truth on a seeded sample of the cases with a time
    value (above 1e-3) that only the same engine's accurate scheme confirmed."""
    pool = [k for k, t in enumerate(truths) if t.checked_by == references.ACCURATE
            and t.value - bounds.intrinsic(cases[k]) > 1e-3]
    sample = sorted(random.Random(7).sample(pool, min(count, len(pool))))
    rows = []
    for k in sample:
        tree, truth = references.tree(cases[k]), truths[k].value
        rows.append({"case": cases[k].label(), "truth": truth, "tree": tree,
                     "excess": error_stats.excess(tree, truth)})
    finite = [r for r in rows if math.isfinite(r["tree"])]
    agreeing = sum(r["excess"] <= 1.0 for r in finite)
    worst = max(finite, key=lambda r: r["excess"]) if finite else None
    report(f"Independent check of the truth: of {len(rows)} sampled cases with a time value that "
           f"only the accurate scheme confirmed, the tree ({references.TREE_STEPS} steps) is "
           f"finite in {len(finite)} and within 1e-3 rel. or 1e-5 abs. of the truth in "
           f"{agreeing}" + (f"; largest gap {worst['tree'] - worst['truth']:+.2e} on "
                            f"{worst['truth']:.6g} ({worst['case']})" if worst else ""))
    for r in finite:
        if r["excess"] > 1.0:
            report(f"  disagree: truth {r['truth']:.8g}, tree {r['tree']:.8g}  {r['case']}")
    report()
    return {"sampled": len(rows), "finite": len(finite), "agreeing": agreeing, "rows": rows}


def disputed_listing(report, cases, truths):
    disputed = [k for k, t in enumerate(truths) if t.disputed]
    rows = []
    names = (references.HIGH_PRECISION, references.ACCURATE, references.PERPETUAL,
             references.TREE, references.QUANTLIB_GRID)
    for k in disputed:
        t = truths[k]
        rows.append([cases[k].label(), t.source, f"{t.value:.6g}"]
                    + [f"{t.others.get(n, math.nan):.6g}" for n in names])
    if rows:
        report(table.render(f"Truths no second reference confirmed ({len(rows)} cases)",
                            ["case", "taken", "truth"] + list(names), rows))
        report()
    return [{"case": cases[k].label(), "source": truths[k].source, "value": truths[k].value,
             "others": truths[k].others} for k in disputed]


def closed_form_cross_check(cases, truths):
    """vyr's closed form against QuantLib's wherever it is the truth (European options, and
    American ones without early exercise): the largest difference over the allowance."""
    largest, where = 0.0, None
    for case, t in zip(cases, truths):
        if not t.source.startswith(references.CLOSED_FORM):
            continue
        european = replace(case, is_american=False)
        theirs = references.quantlib_value(european, qls.analytic_engine)
        if math.isfinite(theirs) and math.isfinite(t.value):
            gap = error_stats.excess(theirs, t.value)
            if gap > largest:
                largest, where = gap, (case.label(), t.value, theirs)
    return largest, where


def print_setting(report, setting, result, cases, truths):
    report(f"Grid {setting}: {len(cases)} cases")
    failures = result["failures"]
    spread = result["non_finite_spread"]
    report(f"  NaN or inf: {result['non_finite']}; exceptions: {sum(failures.values())}"
           + (f" (together at vol·√T from {spread[0]:.3g} to {spread[1]:.3g}; "
              f"{sum(c.sigma * math.sqrt(c.years) >= spread[0] for c in cases)} cases lie in "
              "that range)" if spread else ""))
    for message, n in sorted(failures.items(), key=lambda item: -item[1])[:8]:
        report(f"    {n:5d} x {message[:110]}")
    report("  bound violations: " + ", ".join(f"{kind} {n}" for kind, n in
                                               result["violations"].items()))
    confirmed = "" if not any(t.disputed for t in truths) else \
        f"; {result['share_undisputed']:.2%} of the cases with a confirmed truth"
    report(f"  within 1e-3 rel. or 1e-5 abs. of the truth: {result['within']} of "
           f"{result['judged']} ({result['share']:.2%}{confirmed}); misses by kind: "
           + (", ".join(f"{kind} {n}" for kind, n in sorted(result["misses_by_kind"].items()))
              or "none"))
    buckets = result["share_by_bucket"]
    report("  share within, by vol·√T: " + ", ".join(
        f"{name} {share:.1%} of {n}" for name, (share, n) in buckets["vol_sqrt_t"].items())
        + "; by q: " + ", ".join(f"{name} {share:.1%} of {n}"
                                  for name, (share, n) in buckets["q"].items()))
    rows = []
    for k in result["worst"]:
        value, truth = result["values"][k], truths[k]
        rows.append([cases[k].label(), f"{value:.6g}", f"{truth.value:.6g}",
                     f"{result['excess'][k]:.3g}", truth.source + (" (disputed)"
                                                                   if truth.disputed else "")])
    report(table.render(f"  worst finite values at {setting} (excess: error over the allowance)",
                        ["case", "vyr", "truth", "excess", "truth from"], rows))
    report()


def verdicts(report, results):
    rows = []
    for setting in SWEPT:
        r = results[setting]
        bad = r["non_finite"] + sum(r["failures"].values())
        violations = sum(r["violations"].values())
        rows.append([f"{setting}: every value finite (no NaN, inf or exception)", "0", bad,
                     "met" if bad == 0 else "MISSED"])
        rows.append([f"{setting}: bound violations", "0", violations,
                     "met" if violations == 0 else "MISSED"])
    share = results[ACCURACY_SETTING]["share"]
    rows.append([f"{ACCURACY_SETTING}: within 1e-3 rel. or 1e-5 abs. of the truth",
                 f">= {TARGET_SHARE:.1%}", f"{share:.2%}",
                 "met" if share >= TARGET_SHARE else "MISSED"])
    report(table.render("Targets", ["measure", "target", "measured", "verdict"], rows))


def run(mode, report):
    settings = MODES[mode]
    cases = market_cases.every_nth(market_cases.bounds_sweep(), settings["stride"])
    kinds = collections.Counter(c.kind for c in cases)
    report(f"{len(cases)} cases: " + ", ".join(f"{n} {k}s" for k, n in sorted(kinds.items())))
    results = {"cases": len(cases), "stages": {}}
    start = time.perf_counter()
    results["known_faults"] = known_faults(report)
    results["stages"]["known faults"] = time.perf_counter() - start

    truths, seconds, regimes = compute_truths(report, cases)
    results["stages"]["truths"] = seconds
    results["regimes"] = {f"{style}: {regime}": n for (style, regime), n in regimes.items()}
    results["disputed"] = disputed_listing(report, cases, truths)
    start = time.perf_counter()
    results["independent_check"] = confirm_independently(report, cases, truths,
                                                         settings["confirmations"])
    gap, where = closed_form_cross_check(cases, truths)
    report(f"Closed-form truths: vyr's and QuantLib's closed forms differ by at most {gap:.2g} of "
           f"the allowance" + (f" ({where[0]}: {where[1]:.10g} against {where[2]:.10g})"
                               if where else "") + "\n")
    results["stages"]["checks of the truth"] = time.perf_counter() - start

    for setting in SWEPT:
        start = time.perf_counter()
        result = sweep_setting(cases, truths, setting)
        seconds = time.perf_counter() - start
        results["stages"][f"grid {setting}"] = seconds
        print_setting(report, setting, result, cases, truths)
        result["worst"] = [{"case": cases[k].label(), "value": result["values"][k],
                            "truth": truths[k].value, "truth_from": truths[k].regime,
                            "excess": result["excess"][k]} for k in result["worst"]]
        del result["values"], result["excess"]
        result["seconds"] = seconds
        results[setting] = result
    verdicts(report, results)
    return results


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="every ninth case")
    parser.add_argument("--json", type=Path, help="write every figure to this file")
    args = parser.parse_args(argv)
    mode = "quick" if args.quick else "default"
    report = Report()
    info = machine()
    report(f"Bounds sweep | QuantLib {info['quantlib']} | {info['cpu']} | load "
           f"{info['load_average']} | mode {mode} | {info['date']}\n")
    start = time.perf_counter()
    results = run(mode, report)
    results["machine"], results["mode"] = info, mode
    results["seconds"] = time.perf_counter() - start
    report("\n(" + ", ".join(f"{stage} {s:.0f} s" for stage, s in results["stages"].items())
           + f"; total {results['seconds']:.0f} s)")
    if args.json:
        args.json.write_text(json.dumps(jsonable(results), indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
