"""Timing helpers: medians over repeated passes, with the contenders interleaved.

A pass is a function that does a fixed amount of work (for example pricing every case once).
Contenders are timed in turn within each repeat, so that drift of a shared, noisy machine affects
each of them alike, and the median over repeats is reported. The garbage collector is paused
while timing, as timeit does.
"""

import gc
import statistics
import time


def _timed(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


def interleaved_runs(passes, budget_seconds, min_repeats=3, max_repeats=25):
    """Seconds of every timed repeat of each named pass in the dict `passes`, in order.

    One untimed warm-up pass each estimates its cost; the repeat count is then chosen so that all
    passes together take about `budget_seconds`, within [min_repeats, max_repeats].
    """
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        estimate = sum(_timed(p) for p in passes.values())
        repeats = int(budget_seconds / estimate) if estimate > 0 else max_repeats
        repeats = max(min_repeats, min(max_repeats, repeats))
        runs = {name: [] for name in passes}
        for _ in range(repeats):
            for name, function in passes.items():
                runs[name].append(_timed(function))
    finally:
        if was_enabled:
            gc.enable()
    return runs


def interleaved_medians(passes, budget_seconds, min_repeats=3, max_repeats=25):
    """Median seconds per pass for each named pass, timed as `interleaved_runs` times them."""
    runs = interleaved_runs(passes, budget_seconds, min_repeats, max_repeats)
    return {name: statistics.median(values) for name, values in runs.items()}


def looped(function, calls):
    """A pass that calls `function` `calls` times."""
    def run():
        for _ in range(calls):
            function()
    return run


def calls_for(function, target_seconds, cap=1_000_000):
    """How many calls of `function` take about `target_seconds` (at least one)."""
    start = time.perf_counter()
    function()
    once = max(time.perf_counter() - start, 1e-8)
    return max(1, min(cap, int(target_seconds / once)))


def per_call_medians(functions, budget_seconds, pass_seconds=0.01, min_repeats=5,
                     max_repeats=25):
    """Median seconds per call of each named function, each timed in passes of about
    `pass_seconds` (its own call count), interleaved with the others."""
    counts = {name: calls_for(f, pass_seconds) for name, f in functions.items()}
    medians = interleaved_medians({name: looped(f, counts[name]) for name, f in functions.items()},
                                  budget_seconds, min_repeats, max_repeats)
    return {name: medians[name] / counts[name] for name in functions}
