"""The cost of a grid pricing as a function of its size.

A pricing costs a fixed part, a part per node (building the grid, the operator and the splines)
and a part per node and step (the march). The model t = a + b·N + c·N·M is fitted by least
squares on relative residuals, so small and large grids weigh alike; the pricing is linear in the
grid when the largest relative residual stays small.
"""

import numpy


def fit(rows):
    """rows: dicts with nodes, node_steps and seconds. Returns the coefficients in seconds
    (intercept, per_node, slope = per node-step) and the largest relative residual."""
    design = numpy.array([[1.0, r["nodes"], r["node_steps"]] for r in rows], dtype=float)
    seconds = numpy.array([r["seconds"] for r in rows], dtype=float)
    weights = 1.0 / seconds
    coefficients, *_ = numpy.linalg.lstsq(design * weights[:, None], seconds * weights,
                                          rcond=None)
    residual = numpy.abs(design @ coefficients - seconds) / seconds
    fixed, per_node, per_node_step = (float(c) for c in coefficients)
    return {"intercept": fixed, "per_node": per_node, "slope": per_node_step,
            "worst_relative_residual": float(residual.max())}
