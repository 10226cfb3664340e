import math

import pytest

import error_stats


@pytest.mark.parametrize("value, truth, inside", [
    (100.099, 100.0, True),      # 1e-3 relative
    (100.101, 100.0, False),
    (1e-5, 0.0, True),           # the absolute floor decides for small truths
    (0.001009, 0.001, True),     # 1e-5 absolute beats 1e-6 relative
    (0.001011, 0.001, False),
    (-50.06, -50.0, False),      # relative to |truth|
    (math.nan, 1.0, False),
    (math.inf, math.inf, False),
])
def test_within_takes_the_looser_of_relative_and_absolute(value, truth, inside):
    assert error_stats.within(value, truth) is inside


def test_excess_is_the_error_over_the_allowance():
    assert error_stats.excess(102.0, 100.0) == pytest.approx(20.0)
    assert error_stats.excess(3e-5, 0.0) == pytest.approx(3.0)
    assert error_stats.excess(math.nan, 0.0) == math.inf


def test_summary_counts_what_is_off_and_what_is_not_finite():
    stats = error_stats.summary([1.0, 2.002, 3.0005, 4.0], [1.0, 2.0, 3.0, 4.0])
    assert stats["over"] == 1 and stats["non_finite"] == 0 and stats["count"] == 4
    assert stats["max_abs"] == pytest.approx(0.002)
    assert stats["rmse"] == pytest.approx(math.sqrt((0.002 ** 2 + 0.0005 ** 2) / 4))
    broken = error_stats.summary([1.0, math.nan], [1.0, 2.0])
    assert broken["non_finite"] == 1 and broken["over"] == 1
    assert math.isnan(broken["rmse"]) and math.isnan(broken["max_abs"])
    assert math.isnan(error_stats.summary([], [])["rmse"])


def test_worst_orders_by_the_key_and_keeps_ties_in_order():
    keys = [0.5, 3.0, math.inf, 3.0, 0.1]
    assert error_stats.worst(range(5), keys.__getitem__, 3) == [2, 1, 3]
