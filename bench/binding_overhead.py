"""Per-call overhead of the binding: InterestRate.discount_factor(t) against math.exp(t).

Both are one call from Python with one float argument returning a float, so their ratio is what
the binding layer adds to every call. Run: python bench/binding_overhead.py
"""

import math
import statistics
import timeit

import vyr


def per_call_ns(statement, namespace, number=200_000, repeat=15):
    timer = timeit.Timer(statement, globals=namespace)
    runs = [t / number * 1e9 for t in timer.repeat(repeat=repeat, number=number)]
    return statistics.median(runs), min(runs)


def main():
    rate = vyr.InterestRate(0.05, vyr.Compounding.continuous(),
                            vyr.DayCountConvention.ACT_365_FIXED)
    namespace = {"rate": rate, "math": math, "t": 1.25}
    # Interleave the two so that drift of the machine affects both alike.
    ours, theirs = [], []
    for _ in range(5):
        ours.append(per_call_ns("rate.discount_factor(t)", namespace))
        theirs.append(per_call_ns("math.exp(t)", namespace))
    ours_median = statistics.median(m for m, _ in ours)
    theirs_median = statistics.median(m for m, _ in theirs)
    ours_best = min(b for _, b in ours)
    theirs_best = min(b for _, b in theirs)
    print(f"{'call':<28}{'median ns':>12}{'best ns':>10}")
    print(f"{'rate.discount_factor(t)':<28}{ours_median:>12.1f}{ours_best:>10.1f}")
    print(f"{'math.exp(t)':<28}{theirs_median:>12.1f}{theirs_best:>10.1f}")
    print(f"ratio (median) {ours_median / theirs_median:.2f}, ratio (best) "
          f"{ours_best / theirs_best:.2f}  (goal: under 2.0, aim 1.3)")


if __name__ == "__main__":
    main()
