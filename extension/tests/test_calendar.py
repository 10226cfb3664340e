"""Day-count conventions, frequencies, tenors and the period calculator as Python sees them."""

from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

import pytest

import vyr
from conftest import PanicException, utc

DCC = vyr.DayCountConvention


@pytest.mark.parametrize(
    "convention,text",
    [
        (DCC.ACT_360, "Actual360"),
        (DCC.ACT_365_FIXED, "Actual365Fixed"),
        (DCC.ACT_ACT.ISDA, "ActualActual(ISDA)"),
        (DCC.THIRTY_360.US_ISDA, "Thirty360(UnitedStatesIsda)"),
        (DCC.THIRTY_360.EUROBOND_ISMA, "Thirty360(EurobondIsma)"),
        (DCC.THIRTY_360.GERMAN_ISDA, "Thirty360(GermanIsda)"),
    ],
)
def test_day_count_reprs(convention, text):
    assert repr(convention) == f"<DayCountConvention: {text}>"
    assert type(convention) is DCC


def test_day_count_paths_reach_the_same_objects():
    assert DCC.ISDA is DCC.ACT_ACT.ISDA
    assert DCC.US_ISDA is DCC.THIRTY_360.US_ISDA
    assert DCC.GERMAN_ISDA is DCC.THIRTY_360.GERMAN_ISDA
    assert DCC.EUROBOND_ISMA is DCC.THIRTY_360.EUROBOND_ISMA
    assert DCC.THIRTY_360.__name__ == "Thirty360" and DCC.ACT_ACT.__name__ == "ActAct"
    assert not hasattr(vyr, "Thirty360") and not hasattr(vyr, "ActAct")
    with pytest.raises(TypeError, match="^cannot create 'builtins.Thirty360' instances$"):
        DCC.THIRTY_360()


@pytest.mark.parametrize("name,value,index", [("Annual", 1, 0), ("SemiAnnual", 2, 1),
                                              ("Quarterly", 4, 2), ("Monthly", 12, 3)])
def test_frequencies(name, value, index):
    frequency = getattr(vyr.Frequency, name)
    assert frequency.value == value
    assert int(frequency) == index
    assert repr(frequency) == name
    assert frequency is getattr(vyr.Frequency, name)


@pytest.mark.parametrize(
    "tenor,start,end",
    [
        (vyr.Tenor.months(1), date(2024, 1, 31), date(2024, 2, 29)),
        (vyr.Tenor.months(1), date(2023, 1, 31), date(2023, 2, 28)),
        (vyr.Tenor.months(1), date(2024, 2, 28), date(2024, 3, 28)),
        (vyr.Tenor.months(0), date(2024, 5, 17), date(2024, 5, 17)),
        (vyr.Tenor.years(1), date(2024, 2, 29), date(2025, 2, 28)),
        (vyr.Tenor.days(-1), date(2024, 3, 1), date(2024, 2, 29)),
        (vyr.Tenor.weeks(2), date(2024, 12, 25), date(2025, 1, 8)),
        (vyr.Tenor.months(13), date(2024, 12, 31), date(2026, 1, 31)),
        (vyr.Tenor.days(1), datetime(2024, 12, 31, 23, 59, tzinfo=ZoneInfo("Asia/Tokyo")),
         date(2025, 1, 1)),
    ],
)
def test_tenor_advance(tenor, start, end):
    result = tenor.advance(start)
    assert result == end
    assert type(result) is date


@pytest.mark.parametrize(
    "tenor,text",
    [
        (vyr.Tenor.months(-1), "`NaiveDate + Months` out of range"),
        (vyr.Tenor.years(-1), "`NaiveDate + Months` out of range"),
        (vyr.Tenor.years(2**31 - 1), "`NaiveDate + Months` out of range"),
        (vyr.Tenor.days(2**31 - 1), "`NaiveDate + TimeDelta` overflowed"),
        (vyr.Tenor.weeks(-(2**31)), "`NaiveDate + TimeDelta` overflowed"),
    ],
)
def test_tenor_advance_panics(tenor, text):
    with pytest.raises(PanicException) as info:
        tenor.advance(date(2024, 1, 1))
    assert str(info.value) == text


def test_tenor_advance_beyond_python_dates_raises_the_date_error():
    with pytest.raises(ValueError):
        vyr.Tenor.years(1).advance(date(9999, 6, 1))


def test_tenor_argument_errors():
    with pytest.raises(TypeError, match="^argument 'from': 'str' object cannot be cast as 'date'$"):
        vyr.Tenor.days(1).advance("2024-01-01")
    with pytest.raises(TypeError, match="^argument 'n': "):
        vyr.Tenor.days("1")


@pytest.mark.parametrize(
    "start,end,convention,days",
    [
        (date(2024, 1, 31), date(2024, 3, 31), DCC.US_ISDA, 60),
        (date(2024, 1, 31), date(2024, 3, 31), DCC.EUROBOND_ISMA, 60),
        (date(2024, 1, 31), date(2024, 3, 31), DCC.GERMAN_ISDA, 60),
        (date(2024, 1, 30), date(2024, 2, 29), DCC.US_ISDA, 29),
        (date(2024, 1, 30), date(2024, 2, 29), DCC.GERMAN_ISDA, 30),
        (date(2024, 2, 29), date(2024, 3, 31), DCC.US_ISDA, 32),
        (date(2024, 2, 29), date(2024, 3, 31), DCC.EUROBOND_ISMA, 31),
        (date(2024, 2, 29), date(2024, 3, 31), DCC.GERMAN_ISDA, 30),
        (date(2024, 3, 31), date(2024, 1, 31), DCC.US_ISDA, -60),
        (date(2024, 3, 1), date(2024, 2, 1), DCC.ACT_360, -29),
        (date(2023, 1, 1), date(2024, 1, 1), DCC.ISDA, 365),
    ],
)
def test_days_between(start, end, convention, days):
    result = vyr.PeriodCalculator.days_between(start, end, convention)
    assert result == days and type(result) is int


@pytest.mark.parametrize(
    "start,end,convention,expected",
    [
        (utc(2024, 1, 1), utc(2024, 1, 2), DCC.ACT_365_FIXED, 1 / 365),
        (utc(2024, 1, 1), utc(2024, 1, 2), DCC.ACT_360, 1 / 360),
        (utc(2023, 7, 1), utc(2024, 7, 1), DCC.ISDA, 184 / 365 + 182 / 366),
        (utc(2024, 3, 1, 12), utc(2024, 3, 1, 18), DCC.ISDA, 64800 / 31622400),
        (utc(2024, 1, 31), utc(2024, 3, 31), DCC.US_ISDA, 1 / 6),
        (utc(2024, 1, 1), utc(2024, 1, 1, 0, 0, 0, 900000), DCC.ACT_365_FIXED, 0.0),
    ],
)
def test_year_fraction(start, end, convention, expected):
    assert vyr.PeriodCalculator.year_fraction(start, end, convention) == pytest.approx(
        expected, rel=1e-15, abs=0)
    assert vyr.PeriodCalculator.year_fraction(end, start, convention) == pytest.approx(
        -expected, rel=1e-15, abs=0)


def test_year_fraction_accepts_utc_equivalents_only():
    start = datetime(2024, 1, 1, tzinfo=timezone(timedelta(0)))
    assert vyr.PeriodCalculator.year_fraction(start, utc(2025, 1, 1), DCC.ACT_365_FIXED) == 366 / 365
    with pytest.raises(ValueError, match=r"^expected datetime\.timezone\.utc$"):
        vyr.PeriodCalculator.year_fraction(
            datetime(2024, 1, 1, tzinfo=ZoneInfo("America/New_York")), start, DCC.ACT_360)
    with pytest.raises(ValueError, match=r"^expected datetime\.timezone\.utc$"):
        vyr.PeriodCalculator.year_fraction(datetime(2024, 1, 1, tzinfo=ZoneInfo("UTC")), start,
                                           DCC.ACT_360)
    with pytest.raises(TypeError, match="^argument 'end': expected a datetime with non-None tzinfo$"):
        vyr.PeriodCalculator.year_fraction(start, datetime(2024, 1, 1), DCC.ACT_360)
    with pytest.raises(TypeError,
                       match="^argument 'start': 'date' object cannot be cast as 'datetime'$"):
        vyr.PeriodCalculator.year_fraction(date(2024, 1, 1), start, DCC.ACT_360)
    with pytest.raises(TypeError, match="^argument 'convention': "):
        vyr.PeriodCalculator.year_fraction(start, start, "ACT_360")
