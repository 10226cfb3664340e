import pytest

import cost_model


def rows(cost):
    return [{"nodes": n, "steps": m, "node_steps": n * m, "seconds": cost(n, m)}
            for n in (101, 501, 2001) for m in (10, 100, 1000)]


def test_fit_recovers_a_linear_cost():
    fit = cost_model.fit(rows(lambda n, m: 3e-6 + 40e-9 * n + 6e-9 * n * m))
    assert fit["intercept"] == pytest.approx(3e-6, rel=1e-6)
    assert fit["per_node"] == pytest.approx(40e-9, rel=1e-6)
    assert fit["slope"] == pytest.approx(6e-9, rel=1e-6)
    assert fit["worst_relative_residual"] < 1e-9


def test_a_cost_growing_faster_than_the_grid_shows_in_the_residual():
    fit = cost_model.fit(rows(lambda n, m: 1e-6 + 1e-9 * n * m + 1e-12 * n * n * m))
    assert fit["worst_relative_residual"] > 0.3
