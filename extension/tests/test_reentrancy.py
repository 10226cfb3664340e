"""Re-entrant use of an object in the middle of a call, as Python code can provoke it: conversion
hooks (__float__, utcoffset, timestamp) that read or write the object being changed, or that
compute with a builder holding it. Each conflict gives its RuntimeError or PanicException, and
every object involved works normally afterwards."""

import threading
from datetime import datetime

import pytest

import vyr
from conftest import UTC, VALUATION, PanicException, make_frame, option_for




class Hook:
    """A number whose __float__ first runs `action`, then returns `value`."""

    def __init__(self, action, value=2.0):
        self.action = action
        self.value = value
        self.calls = 0

    def __float__(self):
        self.calls += 1
        self.action()
        return self.value


class Stamp(datetime):
    """A datetime whose utcoffset() or timestamp() first runs the action stored on it."""

    def utcoffset(self):
        if getattr(self, "hook", None) == "utcoffset":
            self.action()
        return super().utcoffset()

    def timestamp(self):
        if getattr(self, "hook", None) == "timestamp":
            self.action()
        return super().timestamp()


def stamp(hook, action, when=VALUATION):
    dt = Stamp(when.year, when.month, when.day, when.hour, tzinfo=UTC)
    dt.hook, dt.action = hook, action
    return dt


def valuation(frame, option=None):
    return (option or option_for()).valuation().market(frame).at(VALUATION)


def implied(frame, option=None, target=10.0):
    return (option or option_for()).implied_vol().market(frame).at(VALUATION).price(target)


def frame_usable(frame, spot):
    assert frame.spot == spot
    frame.spot = spot + 1.0
    assert frame.spot == spot + 1.0
    frame.spot = spot


# ---- Setters of the market frame ---------------------------------------------------------------


@pytest.mark.parametrize(
    "use,message",
    [
        (lambda frame: frame.spot, "Already mutably borrowed"),
        (lambda frame: frame.rate_curve, "Already mutably borrowed"),
        (lambda frame: frame.borrow_curve, "Already mutably borrowed"),
        (lambda frame: setattr(frame, "spot", 1.0), "Already borrowed"),
        (lambda frame: setattr(frame, "dividends", None), "Already borrowed"),
        (lambda frame: vyr.OptionMarketFrame(frame.spot, frame.rate_curve, frame.vol_surface),
         "Already mutably borrowed"),
    ],
)
def test_frame_used_by_its_own_spot_setter(use, message):
    frame = make_frame(spot=100.0)
    hook = Hook(lambda: use(frame))
    with pytest.raises(RuntimeError) as info:
        frame.spot = hook
    assert str(info.value) == message
    assert hook.calls == 1
    frame_usable(frame, 100.0)


@pytest.mark.parametrize("make_builder,run", [
    (valuation, lambda builder: builder.compute().price),
    (implied, lambda builder: builder.calculate()),
])
def test_builder_reading_a_frame_in_the_middle_of_a_write_panics(make_builder, run):
    frame = make_frame(spot=100.0)
    builder = make_builder(frame)
    expected = run(builder)
    with pytest.raises(PanicException) as info:
        frame.spot = Hook(lambda: run(builder))
    assert info.value.args == ("Already mutably borrowed",)
    frame_usable(frame, 100.0)
    assert run(builder) == expected


def test_reentered_setter_that_swallows_the_conflict_completes():
    frame = make_frame(spot=100.0)
    seen = []

    def try_write():
        try:
            frame.spot = 50.0
        except RuntimeError as error:
            seen.append(str(error))

    frame.spot = Hook(try_write, value=120.0)
    assert seen == ["Already borrowed"]
    assert frame.spot == 120.0


def test_conflicts_are_per_object():
    """Another frame, or another builder, is free while one frame is being written."""
    frame, other = make_frame(spot=100.0), make_frame(spot=80.0)
    other_builder = valuation(other)
    results = []

    def elsewhere():
        other.spot = 90.0
        results.append(other_builder.compute().price)

    frame.spot = Hook(elsewhere, value=110.0)
    assert frame.spot == 110.0 and other.spot == 90.0
    assert results == [valuation(make_frame(spot=90.0)).compute().price]


# ---- The builders' setters -----------------------------------------------------------------------


def builder_cases():
    for make_builder, run in [(valuation, lambda b: b.compute().price),
                              (implied, lambda b: b.calculate())]:
        for hook in ("utcoffset", "timestamp"):
            yield make_builder, run, hook, run, "Already mutably borrowed"
            yield make_builder, run, hook, lambda b: b.config(None), "Already borrowed"
            yield make_builder, run, hook, lambda b: b.market(make_frame()), "Already borrowed"
            yield make_builder, run, hook, lambda b: b.at(None), "Already borrowed"


@pytest.mark.parametrize("make_builder,run,hook,use,message", list(builder_cases()))
def test_datetime_calling_back_into_the_builder_during_at(make_builder, run, hook, use, message):
    frame = make_frame()
    builder = make_builder(frame)
    expected = run(builder)
    later = datetime(2025, 6, 1, tzinfo=UTC)
    with pytest.raises(RuntimeError) as info:
        builder.at(stamp(hook, lambda: use(builder), when=later))
    assert str(info.value) == message
    # The failed call stored nothing: the builder still values at the earlier time.
    assert run(builder) == expected
    assert builder.at(later) is builder
    assert run(builder) != expected


def test_price_whose_float_calculates_with_the_same_builder():
    frame = make_frame()
    builder = implied(frame, target=10.0)
    expected = builder.calculate()
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        builder.price(Hook(builder.calculate, value=12.0))
    assert builder.calculate() == expected
    assert builder.price(12.0) is builder
    assert builder.calculate() > expected


def test_price_whose_float_sets_the_same_builder():
    builder = implied(make_frame(), target=10.0)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        builder.price(Hook(lambda: builder.price(11.0)))
    assert builder.calculate() == implied(make_frame(), target=10.0).calculate()


def test_shared_reads_nest():
    """Reading an object while it is being read is no conflict."""
    option = option_for(strike=100.0)
    seen = []
    when = stamp("timestamp", lambda: seen.append((option.strike, option.years_to_expiry(
        VALUATION))))
    assert option.years_to_expiry(when) == 1.0
    assert seen == [(100.0, 1.0)]
    builder = option.valuation().market(make_frame())
    builder.at(stamp("timestamp", lambda: seen.append(option.valuation().market(
        make_frame()).at(VALUATION).compute().price)))
    assert seen[-1] == builder.compute().price


def test_conflict_inside_a_dividend_ex_date():
    """A DividendSchedule ex-date whose utcoffset writes to a frame in use elsewhere."""
    frame = make_frame(spot=100.0)

    def write_during_write():
        frame.spot = Hook(lambda: vyr.DividendSchedule(
            [(stamp("utcoffset", lambda: setattr(frame, "spot", 1.0)), 1.0)]))

    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        write_during_write()
    frame_usable(frame, 100.0)


# ---- Threads -------------------------------------------------------------------------------------


def test_another_thread_meets_the_borrow_of_a_call_in_progress():
    """Calls never release the interpreter lock, but Python code inside a conversion hook can let
    another thread run; that thread then sees the object in use."""
    frame = make_frame(spot=100.0)
    entered, release = threading.Event(), threading.Event()

    def wait():
        entered.set()
        assert release.wait(10)

    writer = threading.Thread(target=lambda: setattr(frame, "spot", Hook(wait, value=130.0)))
    writer.start()
    try:
        assert entered.wait(10)
        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            frame.spot
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            frame.spot = 1.0
    finally:
        release.set()
        writer.join(10)
    assert frame.spot == 130.0


def test_config_changed_from_inside_another_call():
    """Config.add_policy takes no argument that runs Python code, so it cannot be re-entered; a
    policy added from a hook of another call is simply seen by the next computation."""
    config = vyr.Config()
    option = option_for(american=True)
    builder = option.valuation().market(make_frame()).config(config)
    on_grid = builder.at(VALUATION).compute()
    assert on_grid.greeks.vega is None
    builder.at(stamp("timestamp", lambda: config.add_policy(vyr.InstrumentPolicy().analytic())))
    in_closed_form = builder.compute()
    assert in_closed_form.greeks.vega is not None
    assert in_closed_form.price != on_grid.price
