"""The vanilla option: construction, the expiry and valuation-date conversions, years to expiry."""

import re
from datetime import date, datetime, timedelta, timezone, tzinfo
from zoneinfo import ZoneInfo

import pytest

import vyr
from conftest import EXPIRY, VALUATION, make_frame, make_option, utc

CALL, PUT = vyr.OptionType.Call, vyr.OptionType.Put
EUROPEAN, AMERICAN = vyr.ExerciseStyle.European, vyr.ExerciseStyle.American
NEW_YORK = ZoneInfo("America/New_York")
YEAR = 31_536_000  # seconds in the Actual/365 Fixed year

EXPIRY_NAIVE = "Expiry must have a timezone specified (e.g. New York or UTC)"
VALUATION_NAIVE = "valuation_date must be timezone-aware (e.g., UTC or New York time)"


class SilentZone(tzinfo):
    def utcoffset(self, dt):
        return None


class BrokenZone(tzinfo):
    def utcoffset(self, dt):
        raise KeyError("no offset here")


def stamped(timestamp):
    """An aware datetime whose timestamp() answers `timestamp`."""

    class Stamped(datetime):
        def timestamp(self):
            if isinstance(timestamp, BaseException):
                raise timestamp
            return timestamp

    return Stamped(2025, 1, 1, tzinfo=timezone.utc)


def option(expiry=EXPIRY, strike=100.0):
    return vyr.VanillaOption(strike, expiry, CALL, EUROPEAN)


@pytest.mark.parametrize("strike", [100, 100.0, 0, -5.0, float("inf")])
def test_strike(strike):
    built = vyr.VanillaOption(strike, EXPIRY, PUT, AMERICAN)
    assert built.strike == strike and type(built.strike) is float
    with pytest.raises(AttributeError):
        built.strike = 1.0


def test_keywords():
    built = vyr.VanillaOption(exercise_style=EUROPEAN, option_type=PUT, expiry_time=EXPIRY,
                              strike=90)
    assert built.strike == 90.0
    assert built.years_to_expiry(valuation_date=VALUATION) == 1.0


@pytest.mark.parametrize(
    "args,error,text",
    [
        ((100.0, datetime(2025, 1, 1), CALL, EUROPEAN), ValueError, EXPIRY_NAIVE),
        ((100.0, datetime(2025, 1, 1, tzinfo=SilentZone()), CALL, EUROPEAN), ValueError,
         EXPIRY_NAIVE),
        ((100.0, stamped(1e300), CALL, EUROPEAN), ValueError, "Invalid timestamp"),
        ((100.0, stamped(-1e20), CALL, EUROPEAN), ValueError, "Invalid timestamp"),
        ((100.0, date(2025, 1, 1), CALL, EUROPEAN), TypeError,
         "argument 'expiry_time': 'date' object cannot be cast as 'datetime'"),
        ((100.0, "2025-01-01", CALL, EUROPEAN), TypeError,
         "argument 'expiry_time': 'str' object cannot be cast as 'datetime'"),
        # Every argument is extracted before the expiry is converted, strike first.
        (("x", date(2025, 1, 1), 0, 0), TypeError,
         "argument 'strike': must be real number, not str"),
        ((100.0, datetime(2025, 1, 1), EUROPEAN, EUROPEAN), TypeError,
         "argument 'option_type': 'ExerciseStyle' object cannot be cast as 'OptionType'"),
        ((100.0, datetime(2025, 1, 1), CALL, 1), TypeError,
         "argument 'exercise_style': 'int' object cannot be cast as 'ExerciseStyle'"),
    ],
)
def test_constructor_errors(args, error, text):
    with pytest.raises(error) as info:
        vyr.VanillaOption(*args)
    assert type(info.value) is error
    assert str(info.value) == text


@pytest.mark.parametrize(
    "expiry,failure",
    [
        (datetime(2025, 1, 1, tzinfo=BrokenZone()), KeyError),
        (stamped(RuntimeError("no clock")), RuntimeError),
    ],
)
def test_errors_of_the_datetimes_own_methods_pass_through(expiry, failure):
    with pytest.raises(failure):
        option(expiry)
    with pytest.raises(failure):
        option().years_to_expiry(expiry)


def test_timestamp_must_be_a_real_number():
    with pytest.raises(TypeError, match="^must be real number, not str$"):
        option(stamped("soon"))


@pytest.mark.parametrize(
    "valuation,expected",
    [
        (VALUATION, 1.0),
        (EXPIRY, 0.0),
        (utc(2026, 1, 1, 12), -0.5 / 365),
        (utc(2025, 12, 31, 23, 59, 59), 1 / YEAR),
        # Sub-second differences do not count.
        (utc(2025, 12, 31, 23, 59, 59, 600000), 0.0),
        (utc(2026, 1, 1, 0, 0, 0, 400000), 0.0),
        (utc(2026, 1, 1, 0, 0, 1, 999999), -1 / YEAR),
        (datetime(2025, 12, 31, 19, tzinfo=NEW_YORK), 0.0),
        (datetime(2025, 1, 1, 12, tzinfo=timezone(timedelta(hours=12))), 1.0),
    ],
)
def test_years_to_expiry(valuation, expected):
    assert option().years_to_expiry(valuation) == expected


@pytest.mark.parametrize(
    "in_new_york,in_utc",
    [
        (datetime(2025, 1, 1, 12, tzinfo=NEW_YORK), utc(2025, 1, 1, 17)),
        (datetime(2025, 7, 1, 12, tzinfo=NEW_YORK), utc(2025, 7, 1, 16)),
    ],
)
def test_expiry_in_new_york_and_in_utc_give_the_same_option(in_new_york, in_utc):
    for valuation in (utc(2024, 3, 10, 7, 30), utc(2025, 1, 1, 16, 59, 59)):
        assert option(in_new_york).years_to_expiry(valuation) == \
            option(in_utc).years_to_expiry(valuation)
    assert option(in_new_york).years_to_expiry(in_utc) == 0.0


def test_the_whole_range_of_python_datetimes():
    last = option(datetime(9999, 12, 31, 23, 59, 59, tzinfo=timezone.utc))
    seconds = 253_402_300_799 + 62_135_596_800
    assert last.years_to_expiry(datetime(1, 1, 1, tzinfo=timezone.utc)) == seconds / YEAR
    assert option(datetime(1, 1, 1, tzinfo=timezone.utc)).years_to_expiry(
        datetime(9999, 12, 31, 23, 59, 59, tzinfo=timezone.utc)) == -seconds / YEAR


def test_expiry_truncates_its_timestamp():
    # The timestamp -0.5 truncates to 1970-01-01 00:00:00; rounding would keep 23:59:59.5.
    before_epoch = option(utc(1969, 12, 31, 23, 59, 59, 500000))
    assert before_epoch.years_to_expiry(utc(1970, 1, 1)) == 0.0
    assert before_epoch.years_to_expiry(utc(1969, 12, 31, 23, 59, 59)) == 1 / YEAR


def test_valuation_date_rounds_its_timestamp():
    # The timestamp -1.5 floors to 23:59:58.5; truncating would give 23:59:59.
    expiry = option(utc(1970, 1, 1, 0, 0, 0, 600000))
    assert expiry.years_to_expiry(utc(1969, 12, 31, 23, 59, 58, 500000)) == 2 / YEAR
    # Nanoseconds that round up to a whole second are a leap second at second 59 only.
    minute = option(utc(1970, 1, 1, 0, 1))
    assert minute.years_to_expiry(stamped(59.9999999996)) == 0.0
    with pytest.raises(ValueError, match="^Invalid valuation_date timestamp$"):
        minute.years_to_expiry(stamped(58.9999999996))
    # The truncating expiry conversion never rounds up.
    assert option(stamped(58.9999999996)).years_to_expiry(utc(1970, 1, 1, 0, 0, 58)) == 0.0


@pytest.mark.parametrize(
    "valuation,error,text",
    [
        (datetime(2025, 1, 1), ValueError, VALUATION_NAIVE),
        (datetime(2025, 1, 1, tzinfo=SilentZone()), ValueError, VALUATION_NAIVE),
        (stamped(1e300), ValueError, "Invalid valuation_date timestamp"),
        (date(2025, 1, 1), TypeError,
         "argument 'valuation_date': 'date' object cannot be cast as 'datetime'"),
        (1735689600, TypeError,
         "argument 'valuation_date': 'int' object cannot be cast as 'datetime'"),
    ],
)
def test_years_to_expiry_errors(valuation, error, text):
    with pytest.raises(error) as info:
        option().years_to_expiry(valuation)
    assert type(info.value) is error
    assert str(info.value) == text


@pytest.mark.parametrize("call", [lambda o: o.years_to_expiry(), lambda o: o.years_to_expiry(None),
                                  lambda o: o.years_to_expiry(valuation_date=None)])
def test_years_to_expiry_without_a_date_reads_the_clock(call):
    expiry = datetime.now(timezone.utc).replace(microsecond=0) + timedelta(days=365)
    built = option(expiry)
    before = datetime.now(timezone.utc)
    seconds = call(built) * YEAR
    after = datetime.now(timezone.utc)
    assert (expiry - after).total_seconds() - 1 <= seconds <= (expiry - before).total_seconds()


def test_requests_are_new_builders_that_hold_the_option():
    built = make_option()
    assert type(built.valuation()) is vyr.ValuationBuilder
    assert built.valuation() is not built.valuation()
    assert built.implied_vol() is not built.implied_vol()
    valuation, from_class = built.valuation(), vyr.ValuationBuilder(built)
    implied = built.implied_vol()
    del built
    frame = make_frame()
    first = valuation.market(frame).at(VALUATION).compute().price
    assert from_class.market(frame).at(VALUATION).compute().price == first
    assert implied.market(frame).at(VALUATION).price(first).calculate() == \
        pytest.approx(0.2, abs=1e-4)


def test_enumerations():
    assert [int(v) for v in (CALL, PUT, AMERICAN, EUROPEAN)] == [0, 1, 0, 1]
    assert [repr(v) for v in (CALL, PUT, AMERICAN, EUROPEAN)] == [
        "OptionType.Call", "OptionType.Put", "ExerciseStyle.American", "ExerciseStyle.European"]
    assert vyr.ExerciseStyle.European is EUROPEAN and vyr.OptionType.Put is PUT
    assert CALL != PUT and CALL == CALL


def test_option_reference_counts(leaks):
    naive = datetime(2025, 1, 1)
    strike = 101.5

    def run():
        built = vyr.VanillaOption(strike, EXPIRY, CALL, EUROPEAN)
        built.years_to_expiry(VALUATION)
        built.years_to_expiry()
        with pytest.raises(ValueError, match=re.escape(EXPIRY_NAIVE)):
            vyr.VanillaOption(strike, naive, CALL, EUROPEAN)
        with pytest.raises(ValueError):
            built.years_to_expiry(naive)
        with pytest.raises(TypeError):
            vyr.VanillaOption(strike, EXPIRY, EUROPEAN, CALL)

    leaks.check(run, strike, naive, EXPIRY, VALUATION, CALL, EUROPEAN)
