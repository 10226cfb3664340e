"""Argument binding, conversions, the argument-name prefix, borrow conflicts and reference counts."""

import collections.abc
from datetime import date

import pytest

import vyr
from conftest import utc

ACT365 = vyr.DayCountConvention.ACT_365_FIXED


@pytest.fixture
def rate():
    return vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365)


@pytest.fixture
def frame():
    return vyr.OptionMarketFrame(100.0, vyr.RateCurve.continuous(0.05, ACT365),
                                 vyr.VolSurface.flat(0.2, ACT365))


def message(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


@pytest.mark.parametrize(
    "call,expected",
    [
        (lambda: vyr.OptionMarketFrame(1.0),
         "OptionMarketFrame.__new__() missing 2 required positional arguments: "
         "'rate_curve' and 'vol_surface'"),
        (lambda: vyr.VanillaOption(),
         "VanillaOption.__new__() missing 4 required positional arguments: "
         "'strike', 'expiry_time', 'option_type', and 'exercise_style'"),
        (lambda: vyr.PeriodCalculator.days_between(),
         "PeriodCalculator.days_between() missing 3 required positional arguments: "
         "'start', 'end', and 'convention'"),
        (lambda: vyr.InterestRate(0.05, dcc=ACT365),
         "InterestRate.__new__() missing 1 required positional argument: 'compounding'"),
        (lambda: vyr.Tenor.days(),
         "Tenor.days() missing 1 required positional argument: 'n'"),
        (lambda: vyr.OptionMarketFrame(1, None, None, None, None, 5),
         "OptionMarketFrame.__new__() takes from 3 to 5 positional arguments but 6 were given"),
        (lambda: vyr.Tenor.days(1, 2),
         "Tenor.days() takes 1 positional arguments but 2 were given"),
        (lambda: vyr.Compounding.simple(1),
         "Compounding.simple() takes 0 positional arguments but 1 was given"),
        (lambda: vyr.FdmConfig(1, 2, 3, None, 5),
         "FdmConfig.__new__() takes from 0 to 4 positional arguments but 5 were given"),
        (lambda: vyr.Tenor.days(1, n=2),
         "Tenor.days() got multiple values for argument 'n'"),
        (lambda: vyr.Tenor.days(m=2),
         "Tenor.days() got an unexpected keyword argument 'm'"),
        (lambda: vyr.InterestRate(rate=0.05, compounding=vyr.Compounding.simple(), dcc=ACT365,
                                  extra=1),
         "InterestRate.__new__() got an unexpected keyword argument 'extra'"),
    ],
)
def test_binding_messages(call, expected):
    assert message(call) == expected


def test_method_binding_messages(rate):
    assert message(lambda: rate.discount_factor()) == (
        "InterestRate.discount_factor() missing 1 required positional argument: 't'")
    assert message(lambda: rate.discount_factor(1.0, t=2.0)) == (
        "InterestRate.discount_factor() got multiple values for argument 't'")
    assert message(lambda: rate.discount_factor(1.0, 2.0)) == (
        "InterestRate.discount_factor() takes 1 positional arguments but 2 were given")


def test_keywords_fill_parameters_in_any_order():
    rate = vyr.InterestRate(dcc=ACT365, compounding=vyr.Compounding.simple(), rate=0.05)
    assert rate.discount_factor(t=2) == pytest.approx(1 / 1.1, abs=0, rel=1e-15)
    assert vyr.Tenor.days(**{"n": 3}).advance(**{"from": date(2024, 1, 1)}) == date(2024, 1, 4)


class Real:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Index:
    def __index__(self):
        return 2


@pytest.mark.parametrize("t,expected", [(2, 1 / 1.1), (2.0, 1 / 1.1), (Real(2.0), 1 / 1.1),
                                        (Index(), 1 / 1.1), (True, 1 / 1.05)])
def test_real_numbers(t, expected):
    rate = vyr.InterestRate(0.05, vyr.Compounding.simple(), ACT365)
    assert rate.discount_factor(t) == expected


def test_real_number_errors_carry_the_argument_name(rate):
    assert message(lambda: rate.discount_factor("x")) == (
        "argument 't': must be real number, not str")
    assert message(lambda: rate.discount_factor(None)) == (
        "argument 't': must be real number, not NoneType")


def test_prefixed_error_keeps_the_cause(rate):
    class Bad:
        def __float__(self):
            raise TypeError("boom") from KeyError("root")

    with pytest.raises(TypeError) as info:
        rate.discount_factor(Bad())
    assert str(info.value) == "argument 't': boom"
    assert isinstance(info.value.__cause__, KeyError)


def test_non_type_errors_pass_unchanged(rate):
    class Bad:
        def __float__(self):
            raise ValueError("not a number today")

    with pytest.raises(ValueError, match="^not a number today$"):
        rate.discount_factor(Bad())

    class Subclass(TypeError):
        pass

    class Odd:
        def __float__(self):
            raise Subclass("odd")

    with pytest.raises(Subclass, match="^odd$"):
        rate.discount_factor(Odd())


@pytest.mark.parametrize(
    "value,error,text",
    [
        (-1, OverflowError, None),
        (2**64, OverflowError, None),
        (1.5, TypeError, "argument 'time_steps': 'float' object cannot be interpreted as an integer"),
        ("3", TypeError, "argument 'time_steps': 'str' object cannot be interpreted as an integer"),
    ],
)
def test_unsigned_integers(value, error, text):
    with pytest.raises(error) as info:
        vyr.FdmConfig(time_steps=value)
    if text is not None:
        assert str(info.value) == text


def test_unsigned_integers_accept_the_full_range():
    vyr.FdmConfig(time_steps=2**64 - 1, grid_nodes=Index())


@pytest.mark.parametrize("n", [2**31, -(2**31) - 1, 2**63, 2**70])
def test_signed_32_bit_overflow(n):
    with pytest.raises(OverflowError):
        vyr.Tenor.days(n)


def test_signed_32_bit_narrowing_message():
    with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
        vyr.Tenor.days(2**31)
    vyr.Tenor.days(2**31 - 1)
    vyr.Tenor.days(-(2**31))


def test_library_class_arguments_are_type_checked(frame):
    assert message(lambda: vyr.RateCurve.flat(5)) == (
        "argument 'rate': 'int' object cannot be cast as 'InterestRate'")
    assert message(lambda: vyr.OptionMarketFrame(1.0, vyr.VolSurface.flat(0.2, ACT365), None)) == (
        "argument 'rate_curve': 'VolSurface' object cannot be cast as 'RateCurve'")
    assert message(lambda: vyr.Compounding.compounded(vyr.OptionType.Call)) == (
        "argument 'freq': 'OptionType' object cannot be cast as 'Frequency'")


@pytest.mark.parametrize(
    "tenors,text",
    [
        ("abc", "argument 'tenors': Can't extract `str` to `Vec`"),
        ({1: 2}, "argument 'tenors': 'dict' object cannot be cast as 'Sequence'"),
        ((t for t in []), "argument 'tenors': 'generator' object cannot be cast as 'Sequence'"),
        (5, "argument 'tenors': 'int' object cannot be cast as 'Sequence'"),
        ([vyr.Tenor.days(1), 3], "argument 'tenors': 'int' object cannot be cast as 'Tenor'"),
    ],
)
def test_sequence_conversion_errors(tenors, text):
    assert message(lambda: vyr.RateCurve.interpolated(date(2024, 1, 1), tenors, [])) == text


def test_sequences_by_protocol_or_abc():
    rate = vyr.InterestRate(0.02, vyr.Compounding.continuous(), ACT365)
    tenors = [vyr.Tenor.years(1), vyr.Tenor.years(2)]

    class Registered:
        """Iterable, registered as a Sequence, without the sequence protocol."""

        def __iter__(self):
            return iter(tenors)

    collections.abc.Sequence.register(Registered)
    for given in (tenors, tuple(tenors), Registered()):
        curve = vyr.RateCurve.interpolated(date(2024, 1, 1), given, (rate, rate))
        assert curve.zero_rate(1.5) == pytest.approx(0.02)


def test_sequence_length_is_only_a_hint():
    class Liar(collections.abc.Sequence):
        def __len__(self):
            return 2**62

        def __getitem__(self, index):
            raise IndexError

        def __iter__(self):
            return iter([])

    with pytest.raises(ValueError, match="InsufficientPoints"):
        vyr.RateCurve.interpolated(date(2024, 1, 1), Liar(), Liar())


def test_setter_conversion_and_deletion(frame):
    with pytest.raises(TypeError) as info:
        frame.spot = "x"
    assert str(info.value).startswith("argument 'spot': ")
    assert frame.spot == 100.0
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        del frame.spot
    frame.spot = 7
    assert frame.spot == 7.0 and type(frame.spot) is float


def test_reentrant_write_during_a_setter(frame):
    class Writer:
        def __float__(self):
            frame.spot = 1.0
            return 2.0

    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        frame.spot = Writer()
    assert frame.spot == 100.0
    frame.spot = 3.0
    assert frame.spot == 3.0


def test_reentrant_read_during_a_setter(frame):
    class Reader:
        def __float__(self):
            return frame.spot + 1.0

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        frame.spot = Reader()
    assert frame.spot == 100.0


def test_reentrant_builder_use_during_at(frame):
    option = vyr.VanillaOption(100.0, utc(2030, 1, 1), vyr.OptionType.Call,
                               vyr.ExerciseStyle.European)
    builder = option.valuation().market(frame)
    seen = []

    class Clock(type(utc(2025, 1, 1))):
        def timestamp(self):
            try:
                builder.compute()
            except RuntimeError as error:
                seen.append(str(error))
            return super().timestamp()

    builder.at(Clock(2025, 1, 1, tzinfo=utc(2025, 1, 1).tzinfo))
    assert seen == ["Already mutably borrowed"]
    assert builder.compute().price > 0


def test_reference_counts_stay_flat(leaks, rate, frame):
    t = 1.5
    bad = "x"
    leaks.check(lambda: rate.discount_factor(t), rate, t)

    def failing():
        with pytest.raises(TypeError):
            rate.discount_factor(bad)

    leaks.check(failing, rate, bad)
    curve = vyr.RateCurve.continuous(0.01, ACT365)

    def set_and_get():
        frame.borrow_curve = curve
        assert frame.borrow_curve is not None
        frame.borrow_curve = None

    leaks.check(set_and_get, frame, curve)


def test_memory_stays_flat(rate):
    import resource

    def run(count):
        for _ in range(count):
            rate.discount_factor(1.0)
            try:
                rate.discount_factor("x")
            except TypeError:
                pass
            try:
                vyr.Tenor.days(2**40)
            except OverflowError:
                pass

    run(20_000)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    run(200_000)
    after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    assert after - before < 2_000  # kilobytes
