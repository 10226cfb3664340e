import gc
import sys
from datetime import datetime, timezone

import pytest

import vyr

UTC = timezone.utc


def panic_type():
    """The module's PanicException class, which is not a module attribute."""
    try:
        vyr.Compounding.simple_then_compounded(vyr.Frequency.Annual)
        vyr.InterestRate(
            0.01,
            vyr.Compounding.simple_then_compounded(vyr.Frequency.Annual),
            vyr.DayCountConvention.ACT_365_FIXED,
        ).discount_factor(1.0)
    except BaseException as error:  # noqa: BLE001 - PanicException derives from BaseException
        return type(error)
    raise AssertionError("expected a PanicException")


PanicException = panic_type()


@pytest.fixture
def act365():
    return vyr.DayCountConvention.ACT_365_FIXED


def utc(*args):
    return datetime(*args, tzinfo=UTC)


class Leaks:
    """Repeats a call and checks that the reference counts of its arguments stay unchanged."""

    @staticmethod
    def check(call, *objects, repeat=200):
        for _ in range(20):
            call()
        gc.collect()
        before = [sys.getrefcount(o) for o in objects]
        for _ in range(repeat):
            call()
        gc.collect()
        after = [sys.getrefcount(o) for o in objects]
        assert before == after


@pytest.fixture
def leaks():
    return Leaks
