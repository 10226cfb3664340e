"""Rate curves, the volatility surface, dividend schedules and the option market frame."""

import math
import re
from datetime import date, datetime, timedelta, timezone, tzinfo
from zoneinfo import ZoneInfo

import pytest

import vyr
from conftest import (PanicException, config_with, make_frame, make_option, price_of, utc)

DCC = vyr.DayCountConvention
ACT365 = DCC.ACT_365_FIXED
C = vyr.Compounding
NEW_YORK = ZoneInfo("America/New_York")
FDM = config_with(vyr.InstrumentPolicy().fdm())


def rate(value, compounding=None, dcc=ACT365):
    return vyr.InterestRate(value, compounding or C.continuous(), dcc)


def years(n):
    return vyr.Tenor.years(n)


# Rate curves


@pytest.mark.parametrize("t", [0.0, 0.5, 2.0, 30.0, -1.0])
def test_flat_and_continuous_curves(t):
    simple = vyr.RateCurve.flat(rate(0.05, C.simple()))
    assert simple.zero_rate(t) == 0.05
    assert simple.discount_factor(t) == pytest.approx(1 / (1 + 0.05 * t), rel=1e-15, abs=0)
    quarterly = vyr.RateCurve.flat(rate(0.08, C.compounded(vyr.Frequency.Quarterly)))
    assert quarterly.zero_rate(t) == 0.08
    assert quarterly.discount_factor(t) == pytest.approx(1.02 ** (-4 * t), rel=1e-14, abs=0)
    continuous = vyr.RateCurve.continuous(0.03, DCC.ACT_360)
    assert continuous.zero_rate(t) == 0.03
    assert continuous.discount_factor(t) == pytest.approx(math.exp(-0.03 * t), rel=1e-15, abs=0)


def test_flat_curve_copies_its_rate():
    held = rate(0.05, C.simple())
    curve = vyr.RateCurve.flat(held)
    del held
    assert curve.discount_factor(2) == pytest.approx(1 / 1.1, rel=1e-15, abs=0)


T1, T2 = 366 / 365, 731 / 365  # 2024-01-01 plus one and two years, Actual/365 Fixed


def interpolated(first=None, second=None, reference=date(2024, 1, 1)):
    return vyr.RateCurve.interpolated(reference, [years(1), years(2)],
                                      [first or rate(0.02), second or rate(0.03)])


def on_segment(t):
    return 0.02 + (t - T1) * (0.03 - 0.02) / (T2 - T1)


@pytest.mark.parametrize("t", [T1, T2, 1.5, 0.0, 3.0])
def test_interpolated_zero_rates_lie_on_the_node_segments(t):
    assert interpolated().zero_rate(t) == pytest.approx(on_segment(t), rel=1e-12, abs=1e-15)


def test_interpolated_extrapolates_below_the_first_node():
    assert interpolated().zero_rate(0) < 0.02


def test_reference_date_from_a_datetime_keeps_its_own_date():
    # 23:00 in New York is already the next day in UTC; only the datetime's date part counts.
    late = datetime(2024, 1, 1, 23, tzinfo=NEW_YORK)
    curve = interpolated(reference=late)
    assert curve.zero_rate(T1) == pytest.approx(0.02, rel=1e-14)
    assert curve.zero_rate(1.5) == interpolated().zero_rate(1.5)


def test_each_node_uses_its_own_rates_day_count():
    curve = interpolated(first=rate(0.02, dcc=DCC.ACT_360))
    assert curve.zero_rate(366 / 360) == pytest.approx(0.02, rel=1e-14)
    assert curve.zero_rate(T2) == pytest.approx(0.03, rel=1e-14)


@pytest.mark.parametrize(
    "first,expected",
    [
        (rate(0.02), lambda z, t: math.exp(-z * t)),
        (rate(0.02, C.simple()), lambda z, t: 1 / (1 + z * t)),
        (rate(0.02, C.compounded(vyr.Frequency.Quarterly)), lambda z, t: (1 + z / 4) ** (-4 * t)),
    ],
)
def test_interpolated_discount_factors_use_the_first_rates_compounding(first, expected):
    # The second rate's compounding (simple here) never enters.
    curve = interpolated(first=first, second=rate(0.03, C.simple()))
    for t in (0.5, 1.5, 2.5):
        z = curve.zero_rate(t)
        assert curve.discount_factor(t) == pytest.approx(expected(z, t), rel=1e-14, abs=0)


def test_interpolated_discount_factor_under_simple_then_compounded_panics():
    curve = interpolated(first=rate(0.02, C.simple_then_compounded(vyr.Frequency.Annual)))
    assert curve.zero_rate(1.5) == pytest.approx(on_segment(1.5))
    with pytest.raises(PanicException, match="^not yet implemented: Implement other logic$"):
        curve.discount_factor(1.5)


@pytest.mark.parametrize(
    "tenors,rates,text",
    [
        ([years(2), years(1)], [rate(0.02), rate(0.03)], "Interpolation(NotMonotonic)"),
        ([years(1), years(1)], [rate(0.02), rate(0.03)], "Interpolation(NotMonotonic)"),
        ([years(1)], [rate(0.02)], "Interpolation(InsufficientPoints)"),
        ([], [], "Interpolation(InsufficientPoints)"),
        ([years(1), years(2)], [rate(0.02)], "LengthMismatch"),
        ([years(1)], [rate(0.02), rate(0.03)], "LengthMismatch"),
    ],
)
def test_interpolated_curve_errors(tenors, rates, text):
    with pytest.raises(ValueError, match=f"^{re.escape('Curve Error: ' + text)}$"):
        vyr.RateCurve.interpolated(date(2024, 1, 1), tenors, rates)


def test_a_tenor_that_cannot_be_advanced_fails_as_advance_does():
    with pytest.raises(PanicException, match=r"^`NaiveDate \+ Months` out of range$"):
        vyr.RateCurve.interpolated(date(2024, 1, 1), [vyr.Tenor.months(-1), years(1)],
                                   [rate(0.02), rate(0.03)])


@pytest.mark.parametrize(
    "args,text",
    [
        (("2024-01-01", "abc", "abc"),
         "argument 'reference_date': 'str' object cannot be cast as 'date'"),
        ((date(2024, 1, 1), [years(1), 5], "abc"),
         "argument 'tenors': 'int' object cannot be cast as 'Tenor'"),
        ((date(2024, 1, 1), [years(1)], "abc"), "argument 'rates': Can't extract `str` to `Vec`"),
        ((date(2024, 1, 1), [years(1)], [years(1)]),
         "argument 'rates': 'Tenor' object cannot be cast as 'InterestRate'"),
        ((date(2024, 1, 1), [years(1)], 0.02),
         "argument 'rates': 'float' object cannot be cast as 'Sequence'"),
    ],
)
def test_interpolated_arguments_are_converted_in_order(args, text):
    with pytest.raises(TypeError, match=f"^{re.escape(text)}$"):
        vyr.RateCurve.interpolated(*args)


@pytest.mark.parametrize(
    "call,text",
    [
        (lambda: vyr.RateCurve.continuous("x", 5), "argument 'rate': must be real number, not str"),
        (lambda: vyr.RateCurve.continuous(0.03, 5),
         "argument 'day_count_convention': 'int' object cannot be cast as 'DayCountConvention'"),
        (lambda: vyr.RateCurve.flat(0.05),
         "argument 'rate': 'float' object cannot be cast as 'InterestRate'"),
        (lambda: vyr.RateCurve.continuous(0.03, ACT365).zero_rate("x"),
         "argument 't': must be real number, not str"),
        (lambda: vyr.RateCurve.continuous(0.03, ACT365).discount_factor(None),
         "argument 't': must be real number, not NoneType"),
    ],
)
def test_curve_argument_errors(call, text):
    with pytest.raises(TypeError, match=f"^{re.escape(text)}$"):
        call()


# Volatility surface


@pytest.mark.parametrize("vol", [0.25, 0.0, -0.1, float("inf")])
@pytest.mark.parametrize("strike,t", [(50, 0.1), (500, 10), (-1, -1), (0, 0),
                                      (float("nan"), float("nan"))])
def test_flat_surface_answers_its_volatility_everywhere(vol, strike, t):
    assert vyr.VolSurface.flat(vol, ACT365).volatility(strike, t) == vol


def test_flat_surface_keeps_nan():
    assert math.isnan(vyr.VolSurface.flat(float("nan"), ACT365).volatility(100, 1))


@pytest.mark.parametrize(
    "call,text",
    [
        (lambda: vyr.VolSurface.flat("x", 5), "argument 'vol': must be real number, not str"),
        (lambda: vyr.VolSurface.flat(0.2, "ACT365"),
         "argument 'day_count': 'str' object cannot be cast as 'DayCountConvention'"),
        (lambda: vyr.VolSurface.flat(0.2, ACT365).volatility("x", "y"),
         "argument 'strike': must be real number, not str"),
        (lambda: vyr.VolSurface.flat(0.2, ACT365).volatility(100, "y"),
         "argument 't': must be real number, not str"),
    ],
)
def test_surface_argument_errors(call, text):
    with pytest.raises(TypeError, match=f"^{re.escape(text)}$"):
        call()


# Dividend schedule

EX = utc(2025, 6, 1)
DIVIDEND_PRICED_AT = utc(2025, 6, 2, 2)  # 02:00 UTC, before midnight in New York


class BrokenZone(tzinfo):
    """A tzinfo whose utcoffset raises."""

    def utcoffset(self, dt):
        raise KeyError("no offset here")


class SilentZone(tzinfo):
    """A tzinfo that gives no offset, so its datetimes count as naive."""

    def utcoffset(self, dt):
        return None


@pytest.mark.parametrize(
    "raw",
    [
        [(EX, 1.5)],
        ((EX, 1.5), (utc(2025, 3, 1), 2)),
        [],
        (),
        [(utc(2025, 9, 1), 1.0), (utc(2025, 3, 1), 1.0)],
        [(EX, 1.0), (EX, 1.0)],
        [(EX, -1.0), (EX, 0), (EX, float("inf")), (EX, float("nan"))],
        [(datetime(2025, 6, 1, tzinfo=ZoneInfo("UTC")), 1.0)],
        [(datetime(2025, 6, 1, tzinfo=NEW_YORK), 1.0)],
        [(datetime(2025, 6, 1, tzinfo=timezone(timedelta(hours=9))), 1.0)],
    ],
)
def test_schedules_that_build(raw):
    assert type(vyr.DividendSchedule(raw)) is vyr.DividendSchedule
    assert type(vyr.DividendSchedule(raw_divs=raw)) is vyr.DividendSchedule


NAIVE = datetime(2025, 6, 1)
EX_DATE_TYPE = "Ex-dates must be timezone-aware datetime objects. Plain dates are rejected."
NO_OFFSET = "Datetime must be timezone-aware (e.g., use New York or UTC time)."


@pytest.mark.parametrize(
    "raw,error,text",
    [
        ("abc", TypeError, "argument 'raw_divs': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'raw_divs': 'int' object cannot be cast as 'Sequence'"),
        ({EX: 1.0}, TypeError, "argument 'raw_divs': 'dict' object cannot be cast as 'Sequence'"),
        ((p for p in [(EX, 1.0)]), TypeError,
         "argument 'raw_divs': 'generator' object cannot be cast as 'Sequence'"),
        ([[EX, 1.0]], TypeError, "argument 'raw_divs': 'list' object cannot be cast as 'tuple'"),
        ([(EX, 1.0, 2.0)], ValueError, "expected tuple of length 2, but got tuple of length 3"),
        ([(EX,)], ValueError, "expected tuple of length 2, but got tuple of length 1"),
        ([(EX, "x")], TypeError, "argument 'raw_divs': must be real number, not str"),
        ([(EX, None)], TypeError, "argument 'raw_divs': must be real number, not NoneType"),
        ([(date(2025, 3, 1), 1.5)], TypeError, EX_DATE_TYPE),
        ([("2025-03-01", 1.5)], TypeError, EX_DATE_TYPE),
        ([(NAIVE, 1.5)], ValueError, NO_OFFSET),
        ([(datetime(2025, 6, 1, tzinfo=SilentZone()), 1.5)], ValueError, NO_OFFSET),
        # The first bad pair decides ...
        ([(EX, 1.0), (NAIVE, 1.0), (date(2025, 1, 1), 1.0)], ValueError, NO_OFFSET),
        ([(date(2025, 1, 1), 1.0), (NAIVE, 1.0)], TypeError, EX_DATE_TYPE),
        # ... but every pair's shape and amount are read before any ex-date is looked at.
        ([(date(2025, 1, 1), 1.0), (EX, 1.0, 2.0)], ValueError,
         "expected tuple of length 2, but got tuple of length 3"),
        ([(NAIVE, 1.0), [EX, 1.0]], TypeError,
         "argument 'raw_divs': 'list' object cannot be cast as 'tuple'"),
        ([(NAIVE, 1.0), (EX, "x")], TypeError, "argument 'raw_divs': must be real number, not str"),
    ],
)
def test_schedule_errors(raw, error, text):
    with pytest.raises(error) as info:
        vyr.DividendSchedule(raw)
    assert type(info.value) is error
    assert str(info.value) == text


def test_errors_of_the_ex_dates_own_methods_pass_through():
    with pytest.raises(KeyError, match="no offset here"):
        vyr.DividendSchedule([(datetime(2025, 6, 1, tzinfo=BrokenZone()), 1.0)])
    # Moving year 1 to UTC from a positive offset leaves Python's date range.
    early = datetime(1, 1, 1, 2, tzinfo=timezone(timedelta(hours=5)))
    with pytest.raises(OverflowError):
        vyr.DividendSchedule([(early, 1.0)])

    class Stubborn(datetime):
        def astimezone(self, tz=None):
            raise RuntimeError("refused")

    with pytest.raises(RuntimeError, match="^refused$"):
        vyr.DividendSchedule([(Stubborn(2025, 6, 1, tzinfo=timezone.utc), 1.0)])


def fdm_call_price(dividends, at=DIVIDEND_PRICED_AT):
    frame = make_frame(dividends=None if dividends is None else vyr.DividendSchedule(dividends))
    return price_of(make_option(), frame, FDM, at)


def test_ex_dates_are_instants_in_utc():
    undivided = fdm_call_price(None)
    in_new_york = fdm_call_price([(datetime(2025, 6, 2, tzinfo=NEW_YORK), 5.0)])
    # Midnight in New York is 04:00 UTC, after the valuation time: the dividend counts.
    assert in_new_york < undivided - 1.0
    assert fdm_call_price([(utc(2025, 6, 2, 4), 5.0)]) == in_new_york
    assert fdm_call_price([(datetime(2025, 6, 2, 4, tzinfo=ZoneInfo("UTC")), 5.0)]) == in_new_york
    assert fdm_call_price(
        [(datetime(2025, 6, 2, tzinfo=timezone(timedelta(hours=-4))), 5.0)]) == in_new_york
    # Midnight UTC of the same date is before the valuation time: no dividend at all.
    assert fdm_call_price([(utc(2025, 6, 2), 5.0)]) == undivided


def test_every_dividend_is_kept_in_any_order():
    early, late = utc(2025, 7, 1), utc(2025, 10, 1)
    ordered = fdm_call_price([(early, 2.0), (late, 1.0)])
    assert fdm_call_price([(late, 1.0), (early, 2.0)]) == ordered
    assert ordered < fdm_call_price([(early, 2.0)]) < fdm_call_price(None)
    # Two dividends on one instant are both kept and paid together; a non-positive one adds
    # nothing.
    assert fdm_call_price([(early, 1.5), (early, 1.5)]) == fdm_call_price([(early, 3.0)])
    assert fdm_call_price([(early, 3.0), (early, -1.0)]) == fdm_call_price([(early, 3.0)])
    # Ten seconds apart, each is still paid once.
    close = fdm_call_price([(early, 1.5), (early + timedelta(seconds=10), 1.5)])
    assert close == pytest.approx(fdm_call_price([(early, 3.0)]), abs=1e-3)
    assert close < fdm_call_price([(early, 1.5)]) - 0.5


def test_non_positive_amounts_are_stored_but_pay_nothing():
    undivided = fdm_call_price(None)
    for amount in (-1.0, 0, float("nan")):
        assert fdm_call_price([(utc(2025, 7, 1), amount)]) == pytest.approx(undivided, abs=1e-2)
    assert fdm_call_price([(utc(2025, 7, 1), 2)]) == fdm_call_price([(utc(2025, 7, 1), 2.0)])


# Option market frame

FIELDS = ["spot", "rate_curve", "vol_surface", "dividends", "borrow_curve"]


def curve(value, dcc=ACT365):
    return vyr.RateCurve.continuous(value, dcc)


def surface(value, dcc=ACT365):
    return vyr.VolSurface.flat(value, dcc)


def schedule(amount=5.0):
    return vyr.DividendSchedule([(utc(2025, 7, 1), amount)])


def contents(frame):
    """What the frame holds, read through its getters."""
    borrow = frame.borrow_curve
    return (frame.spot, frame.rate_curve.zero_rate(1), frame.vol_surface.volatility(1, 1),
            None if borrow is None else borrow.zero_rate(1),
            price_of(make_option(), frame, FDM, DIVIDEND_PRICED_AT))


def test_defaults():
    frame = vyr.OptionMarketFrame(100, curve(0.05), surface(0.2))
    assert frame.spot == 100.0 and type(frame.spot) is float
    assert frame.borrow_curve is None
    assert type(frame.dividends) is vyr.DividendSchedule
    assert type(frame.rate_curve) is vyr.RateCurve and type(frame.vol_surface) is vyr.VolSurface
    # The default dividends, an empty schedule and None all price the same.
    undivided = contents(frame)
    for dividends in (frame.dividends, vyr.DividendSchedule([]), None):
        assert contents(vyr.OptionMarketFrame(100, curve(0.05), surface(0.2), dividends)) == \
            undivided


def test_default_reprs():
    frame = make_frame(dividends=schedule())
    for value, name in ((frame, "OptionMarketFrame"), (frame.vol_surface, "VolSurface"),
                        (frame.dividends, "DividendSchedule")):
        assert re.fullmatch(f"<builtins.{name} object at 0x[0-9a-f]+>", repr(value))


def test_keywords_and_any_spot():
    frame = vyr.OptionMarketFrame(borrow_curve=curve(0.01), vol_surface=surface(0.3),
                                  rate_curve=curve(0.04), spot=-5.0, dividends=schedule())
    assert frame.spot == -5.0
    assert frame.borrow_curve.zero_rate(1) == 0.01
    frame.spot = 0
    assert frame.spot == 0.0


def test_every_read_is_a_new_object():
    frame = make_frame(q=0.01, dividends=schedule())
    for name in FIELDS[1:]:
        first, second = getattr(frame, name), getattr(frame, name)
        assert first is not second
        assert type(first) is type(second)


def test_reads_are_copies():
    frame = make_frame(q=0.01)
    rates, vols, borrow = frame.rate_curve, frame.vol_surface, frame.borrow_curve
    frame.rate_curve = curve(0.07)
    frame.vol_surface = surface(0.4)
    frame.borrow_curve = None
    assert (rates.zero_rate(1), vols.volatility(1, 1), borrow.zero_rate(1)) == (0.05, 0.2, 0.01)
    assert (frame.rate_curve.zero_rate(1), frame.vol_surface.volatility(1, 1)) == (0.07, 0.4)


def test_a_schedule_is_copied_into_each_frame():
    dividends = schedule()
    first, second = make_frame(dividends=dividends), make_frame(dividends=dividends)
    divided = contents(first)
    first.dividends = None
    assert contents(second) == divided
    assert contents(first) == contents(make_frame())
    # A schedule read out of a frame carries the same dividends into another frame.
    third = make_frame()
    third.dividends = second.dividends
    assert contents(third) == divided


def test_setters_replace_the_fields():
    frame = make_frame()

    class Real:
        def __float__(self):
            return 101.5

    frame.spot = Real()
    frame.rate_curve = curve(0.03)
    frame.vol_surface = surface(0.25)
    frame.borrow_curve = curve(0.01)
    frame.dividends = schedule()
    expected = make_frame(spot=101.5, r=0.03, sigma=0.25, q=0.01, dividends=schedule())
    assert contents(frame) == contents(expected)
    frame.borrow_curve = None
    frame.dividends = None
    assert frame.borrow_curve is None
    assert contents(frame) == contents(make_frame(spot=101.5, r=0.03, sigma=0.25))


@pytest.mark.parametrize(
    "name,value,text",
    [
        ("spot", "x", "argument 'spot': must be real number, not str"),
        ("spot", None, "argument 'spot': must be real number, not NoneType"),
        ("rate_curve", None,
         "argument 'rate_curve': 'NoneType' object cannot be cast as 'RateCurve'"),
        ("rate_curve", surface(0.3),
         "argument 'rate_curve': 'VolSurface' object cannot be cast as 'RateCurve'"),
        ("vol_surface", curve(0.03),
         "argument 'vol_surface': 'RateCurve' object cannot be cast as 'VolSurface'"),
        ("vol_surface", None,
         "argument 'vol_surface': 'NoneType' object cannot be cast as 'VolSurface'"),
        ("dividends", [(utc(2025, 7, 1), 5.0)],
         "argument 'dividends': 'list' object cannot be cast as 'DividendSchedule'"),
        ("borrow_curve", 0.01,
         "argument 'borrow_curve': 'float' object cannot be cast as 'RateCurve'"),
        ("borrow_curve", vyr.InterestRate(0.01, C.continuous(), ACT365),
         "argument 'borrow_curve': 'InterestRate' object cannot be cast as 'RateCurve'"),
    ],
)
def test_a_failed_write_changes_nothing(name, value, text):
    frame = make_frame(q=0.02, dividends=schedule())
    before = contents(frame)
    with pytest.raises(TypeError, match=f"^{re.escape(text)}$"):
        setattr(frame, name, value)
    assert contents(frame) == before


@pytest.mark.parametrize("name", FIELDS)
def test_fields_cannot_be_deleted(name):
    frame = make_frame(q=0.02, dividends=schedule())
    before = contents(frame)
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(frame, name)
    assert contents(frame) == before


@pytest.mark.parametrize(
    "args,text",
    [
        (("x", None, None, 5, 5), "argument 'spot': must be real number, not str"),
        ((1.0, None, None),
         "argument 'rate_curve': 'NoneType' object cannot be cast as 'RateCurve'"),
        ((1.0, curve(0.05), curve(0.05), 5, 5),
         "argument 'vol_surface': 'RateCurve' object cannot be cast as 'VolSurface'"),
        ((1.0, curve(0.05), surface(0.2), 5, 5),
         "argument 'dividends': 'int' object cannot be cast as 'DividendSchedule'"),
        ((1.0, curve(0.05), surface(0.2), None, surface(0.2)),
         "argument 'borrow_curve': 'VolSurface' object cannot be cast as 'RateCurve'"),
    ],
)
def test_constructor_converts_in_parameter_order(args, text):
    with pytest.raises(TypeError, match=f"^{re.escape(text)}$"):
        vyr.OptionMarketFrame(*args)


def test_frame_reference_counts(leaks):
    rates, vols, borrow, dividends = curve(0.05), surface(0.2), curve(0.01), schedule()
    frame = vyr.OptionMarketFrame(100.0, rates, vols, dividends, borrow)
    raw = [(utc(2025, 7, 1), 1.0), (utc(2025, 8, 1), 2.0)]
    bad_raw = [(utc(2025, 7, 1), 1.0), (date(2025, 8, 1), 2.0)]
    naive_raw = [(NAIVE, 1.0)]

    def build():
        vyr.OptionMarketFrame(100.0, rates, vols, dividends, borrow)
        vyr.DividendSchedule(raw)
        for bad in (bad_raw, naive_raw):
            with pytest.raises((TypeError, ValueError)):
                vyr.DividendSchedule(bad)
        with pytest.raises(TypeError):
            vyr.OptionMarketFrame(100.0, rates, rates)

    def read_and_write():
        frame.rate_curve = frame.rate_curve
        frame.vol_surface = frame.vol_surface
        frame.dividends = frame.dividends
        frame.borrow_curve = frame.borrow_curve
        with pytest.raises(TypeError):
            frame.vol_surface = rates

    leaks.check(build, rates, vols, borrow, dividends, raw, bad_raw, naive_raw, *raw[0])
    leaks.check(read_and_write, frame, rates)
