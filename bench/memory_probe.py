"""Heap used by one pricing, for each library and grid; run by compare.py in a helper process.

compare.py compiles alloc_meter.c and starts this script with the meter preloaded
(LD_PRELOAD) and its path in ALLOC_METER. The argument is a JSON list of [nodes, steps] pairs;
the script prints one JSON object: for each library a list of {nodes, steps, peak_bytes,
allocations}, the peak being the most heap in use at once during one pricing above what was in
use before it.
"""

import ctypes
import json
import os
import sys

import market_cases
import quantlib_setup
import vyr_setup


def _measure(meter, price):
    price()  # warm-up: first-use allocations of either library are not part of a pricing
    meter.alloc_meter_reset()
    price()
    return meter.alloc_meter_peak(), meter.alloc_meter_count()


def main():
    meter = ctypes.CDLL(os.environ["ALLOC_METER"])
    meter.alloc_meter_peak.restype = ctypes.c_longlong
    meter.alloc_meter_count.restype = ctypes.c_longlong
    pairs = json.loads(sys.argv[1])
    case = market_cases.Case(100.0, 365, 0.05, 0.0, 0.20)
    result = {"vyr": [], "QuantLib": []}
    for nodes, steps in pairs:
        builder = vyr_setup.grid_builder(case, nodes, steps)
        peak, count = _measure(meter, builder.compute)
        result["vyr"].append({"nodes": nodes, "steps": steps, "peak_bytes": peak,
                              "allocations": count})
        setup = quantlib_setup.setup(case)
        setup.option.setPricingEngine(quantlib_setup.grid_engine(setup.process, steps, nodes))
        peak, count = _measure(meter, setup.option.recalculate)
        result["QuantLib"].append({"nodes": nodes, "steps": steps, "peak_bytes": peak,
                                   "allocations": count})
    print(json.dumps(result))


if __name__ == "__main__":
    main()
