import math

import pytest

from frontier import Point, levels, pareto, rms, seconds_at, speedups


def test_pareto_keeps_only_points_no_other_point_beats():
    points = [Point(1.0, 0.10), Point(2.0, 0.20), Point(3.0, 0.05), Point(3.0, 0.04),
              Point(4.0, 0.05), Point(5.0, float("nan")), Point(6.0, 0.01)]
    assert pareto(points) == [Point(1.0, 0.10), Point(3.0, 0.04), Point(6.0, 0.01)]


FRONT = [Point(1e-5, 1e-1), Point(1e-4, 1e-2), Point(1e-3, 1e-4)]


@pytest.mark.parametrize("level, expected", [
    (1.0, 1e-5),                     # coarser than the cheapest point: its time
    (1e-1, 1e-5),
    (1e-2, 1e-4),                    # on a frontier point
    (math.sqrt(1e-1 * 1e-2), math.sqrt(1e-5 * 1e-4)),  # halfway in log-log
    (1e-3, math.sqrt(1e-4 * 1e-3)),
    (1e-4, 1e-3),
    (9e-5, None),                    # finer than the most accurate point
])
def test_seconds_at_interpolates_in_log_log(level, expected):
    got = seconds_at(FRONT, level)
    assert (got is None) if expected is None else got == pytest.approx(expected, rel=1e-12)


def test_seconds_at_on_a_single_point_and_on_nothing():
    assert seconds_at([Point(2.0, 0.5)], 0.7) == 2.0
    assert seconds_at([Point(2.0, 0.5)], 0.4) is None
    assert seconds_at([], 1.0) is None


def test_levels_are_reached_by_both_frontiers_and_span_the_overlap():
    slow = [Point(1e-3, 5e-2), Point(1e-2, 1e-3)]
    found = levels(FRONT, slow, count=5)
    assert found[0] == pytest.approx(1e-1) and found[-1] == pytest.approx(1e-3)
    assert all(a > b for a, b in zip(found, found[1:]))
    for level, fast, slower, ratio in speedups(FRONT, slow, found):
        assert fast is not None and slower is not None
        assert ratio == pytest.approx(slower / fast)
    # At the coarsest level the slow library is only credited with its cheapest time.
    assert speedups(FRONT, slow, found)[0][2] == 1e-3


def test_levels_of_an_empty_frontier():
    assert levels([], FRONT) == [] and speedups([], FRONT, [1.0]) == [(1.0, None, 1e-5, None)]


def test_rms():
    assert rms([3.0, -4.0]) == pytest.approx(math.sqrt(12.5))
    assert math.isnan(rms([]))
