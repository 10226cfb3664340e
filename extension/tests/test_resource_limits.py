"""Resource limits: grids that need more memory than the machine has, address-space limits,
time-step counts at the top of their range, and schedules with many dividends."""

import os
import subprocess
import sys
import textwrap
from datetime import timedelta

import pytest

import vyr
from conftest import VALUATION, PanicException, make_frame, option_for




def config_with(*policies):
    config = vyr.Config()
    for policy in policies:
        config.add_policy(policy)
    return config


def price(option, frame, config=None):
    return option.valuation().market(frame).at(VALUATION).config(config).compute().price


def under_sanitizer():
    """The address sanitizer reserves terabytes of address space for its shadow memory."""
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


def grid_config(**settings):
    return config_with(vyr.InstrumentPolicy().fdm(vyr.FdmConfig(**settings)))


def small_grid_price(option, frame):
    return price(option, frame, grid_config(grid_nodes=51, time_steps=20))


@pytest.mark.parametrize("grid_nodes", [2**40, 2**48, 2**63, 2**64 - 1])
@pytest.mark.parametrize("american", [False, True])
def test_grid_beyond_memory_raises_memory_error(grid_nodes, american):
    option, frame = option_for(american=american), make_frame()
    config = grid_config(grid_nodes=grid_nodes)
    builder = option.valuation().market(frame).at(VALUATION).config(config)
    solver = option.implied_vol().market(frame).at(VALUATION).config(config).price(10.0)
    expected = small_grid_price(option, frame)
    for _ in range(3):
        with pytest.raises(MemoryError):
            builder.compute()
        with pytest.raises(MemoryError):
            solver.calculate()
    # Nothing was left half-built: the same objects price normally with a grid that fits.
    small = vyr.InstrumentPolicy().fdm(vyr.FdmConfig(grid_nodes=51, time_steps=20))
    assert config.add_policy(small) is config
    assert builder.compute().price == expected
    assert solver.calculate() > 0.0
    assert frame.spot == 100.0


def test_memory_error_is_an_ordinary_exception():
    """MemoryError derives from Exception: a service's `except Exception` handler sees it."""
    builder = option_for(american=True).valuation().market(make_frame()).at(VALUATION)
    builder.config(grid_config(grid_nodes=2**50))
    try:
        builder.compute()
    except Exception as error:  # noqa: BLE001
        assert type(error) is MemoryError
    else:
        raise AssertionError("expected MemoryError")


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs RLIMIT_AS")
def test_allocation_failure_under_an_address_space_limit():
    """A grid that the machine could hold but the process may not allocate (a limit set with
    ulimit -v) fails in the allocation itself, as MemoryError."""
    if under_sanitizer():
        pytest.skip("the sanitizer runtime cannot run under an address-space limit")
    code = textwrap.dedent("""
        import resource
        from datetime import datetime, timezone
        import vyr
        utc = timezone.utc
        dcc = vyr.DayCountConvention.ACT_365_FIXED
        frame = vyr.OptionMarketFrame(100.0, vyr.RateCurve.continuous(0.05, dcc),
                                      vyr.VolSurface.flat(0.2, dcc))
        option = vyr.VanillaOption(100.0, datetime(2026, 1, 1, tzinfo=utc), vyr.OptionType.Put,
                                   vyr.ExerciseStyle.American)
        config = vyr.Config()
        config.add_policy(vyr.InstrumentPolicy().fdm(vyr.FdmConfig(grid_nodes=2**23)))
        builder = option.valuation().market(frame).at(datetime(2025, 1, 1, tzinfo=utc))
        builder.config(config)
        limit = 1 << 30
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            builder.compute()
        except MemoryError:
            print("MemoryError")
        builder.config(None)
        print(repr(builder.compute().price))
    """)
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=120, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert done.returncode == 0, done.stderr
    expected = option_for(american=True).valuation().market(make_frame()).at(VALUATION).compute()
    assert done.stdout.split() == ["MemoryError", repr(expected.price)]


@pytest.mark.parametrize("value", [2**63, 2**64 - 1])
def test_time_steps_accept_the_whole_unsigned_range(value):
    config = vyr.FdmConfig(time_steps=value, grid_nodes=value)
    vyr.InstrumentPolicy().fdm(config)
    for field in ("time_steps", "grid_nodes"):
        with pytest.raises(OverflowError):
            vyr.FdmConfig(**{field: value + 1 if value == 2**64 - 1 else 2**64})
        with pytest.raises(OverflowError):
            vyr.FdmConfig(**{field: -1})


def test_huge_time_steps_on_an_expired_option_report_that_nothing_ran():
    """With the valuation at expiry there is no interval to step, whatever the step count."""
    option = option_for(american=True, expiry=VALUATION)
    builder = option.valuation().market(make_frame()).at(VALUATION)
    builder.config(grid_config(time_steps=2**64 - 1))
    with pytest.raises(PanicException) as info:
        builder.compute()
    assert info.value.args == ("Solver never ran",)


def dividends_every(count, start, step):
    return vyr.DividendSchedule([(start + i * step, 0.001) for i in range(count)])


def test_many_dividend_intervals_get_one_step_each():
    """A one-day option with a dividend every few seconds: every interval takes at least one
    step, so time_steps of 0, 1 and 2 all give one step per interval and the same price."""
    expiry = VALUATION + timedelta(days=1)
    option = option_for(american=True, expiry=expiry)
    frame = make_frame(dividends=dividends_every(5000, VALUATION + timedelta(seconds=3),
                                                 timedelta(seconds=17)))
    prices = {steps: price(option, frame, grid_config(grid_nodes=31, time_steps=steps))
              for steps in (0, 1, 2)}
    assert len(set(prices.values())) == 1
    assert 0.0 < prices[0] < 100.0


def test_large_dividend_schedule_outside_the_life_changes_nothing():
    """Dividends before the valuation or after expiry are read but never stepped."""
    option = option_for(american=True)
    plain = small_grid_price(option, make_frame())
    before = dividends_every(20000, VALUATION - timedelta(days=5000), timedelta(hours=5))
    after = dividends_every(20000, option_expiry(option) + timedelta(days=1), timedelta(hours=5))
    assert small_grid_price(option, make_frame(dividends=before)) == plain
    assert small_grid_price(option, make_frame(dividends=after)) == plain


def option_expiry(option):
    return VALUATION + timedelta(days=365 * option.years_to_expiry(VALUATION))
