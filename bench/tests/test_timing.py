import gc

import pytest

import timing


@pytest.mark.parametrize("budget, low, high, expected", [
    (0.0, 3, 25, 3),        # too little budget: the minimum
    (1e9, 3, 7, 7),         # plenty: the maximum
])
def test_every_pass_runs_the_same_number_of_repeats(budget, low, high, expected):
    calls = {"a": 0, "b": 0}

    def counted(name):
        def run():
            calls[name] += 1
        return run

    medians = timing.interleaved_medians({"a": counted("a"), "b": counted("b")}, budget,
                                         min_repeats=low, max_repeats=high)
    assert set(medians) == {"a", "b"} and all(v >= 0.0 for v in medians.values())
    assert calls == {"a": expected + 1, "b": expected + 1}  # one warm-up each


def test_the_collector_is_paused_while_timing_and_restored_after_a_failure():
    seen = []

    def failing():
        seen.append(gc.isenabled())
        raise RuntimeError("boom")

    assert gc.isenabled()
    with pytest.raises(RuntimeError):
        timing.interleaved_medians({"x": failing}, 0.0)
    assert seen == [False] and gc.isenabled()


def test_looped_calls_the_function_that_many_times():
    count = []
    timing.looped(lambda: count.append(1), 5)()
    assert len(count) == 5 and timing.calls_for(lambda: None, 0.0) == 1
