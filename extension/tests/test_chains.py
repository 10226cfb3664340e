"""VanillaOption.value_many and VanillaOption.implied_vol_many: whole chains in one call. Every
row matches the single-option call bit for bit, or fails as it fails; columns broadcast; bad
elements are call errors; the interpreter lock is released while the rows are priced, and a
batch sees one consistent snapshot of its market and configuration."""

import array
import math
import struct
import threading
import time
from datetime import date, datetime, timedelta

import pytest

import vyr
from conftest import EXPIRY, UTC, VALUATION, PanicException, config_with, make_frame, utc



def under_sanitizer():
    """Whether the sanitizer runtime is loaded into the process (the sanitized test run)."""
    try:
        with open("/proc/self/maps") as maps:
            return "libasan" in maps.read()
    except OSError:
        return False


# NumPy's own import leaks memory under LeakSanitizer: the sanitized run leaves it out, and the
# tests that need it are skipped there.
np = None
if not under_sanitizer():
    try:
        import numpy as np
    except ImportError:
        pass
needs_numpy = pytest.mark.skipif(np is None, reason="NumPy missing, or the sanitized run")

Option = vyr.VanillaOption
Call, Put = vyr.OptionType.Call, vyr.OptionType.Put
American, European = vyr.ExerciseStyle.American, vyr.ExerciseStyle.European
Policy = vyr.InstrumentPolicy
DCC = vyr.DayCountConvention
VALUE_COLUMNS = ["price", "delta", "gamma", "theta", "vega", "rho"]
SMALL_GRID = vyr.FdmConfig(time_steps=8, grid_nodes=41)


def bits(value):
    return struct.pack("<d", value)


def same(result, other):
    """Equal results, NaN for NaN: the same columns holding the same bits."""
    assert list(result) == list(other)
    for name, column in result.items():
        if name == "error":
            assert column == other[name]
        else:
            assert column.tobytes() == other[name].tobytes(), name
    return True


def chain_rows():
    """Every style and type, strikes around the spot, expiries from one week to two years, and
    rows that expire at the valuation time."""
    expiries = [VALUATION + timedelta(days=7), utc(2025, 6, 30, 21), EXPIRY, utc(2027, 1, 1),
                VALUATION]
    rows = []
    for style in (European, American):
        for option_type in (Call, Put):
            for strike in (80.0, 100.0, 125.0):
                for expiry in expiries:
                    rows.append((strike, expiry, option_type, style))
    return rows


def columns(rows):
    return [list(column) for column in zip(*rows)]


def single_value(row, frame, config):
    """The single call's (price, delta, gamma, theta, vega, rho), or its exception."""
    try:
        result = Option(*row).valuation().market(frame).at(VALUATION).config(config).compute()
    except BaseException as error:  # noqa: BLE001 - PanicException derives from BaseException
        return error
    g = result.greeks
    return [result.price, g.delta, g.gamma, g.theta, g.vega, g.rho]


def single_vol(row, price, frame, config):
    try:
        return (Option(*row).implied_vol().price(price).market(frame).at(VALUATION)
                .config(config).calculate())
    except BaseException as error:  # noqa: BLE001
        return error


dividends = vyr.DividendSchedule([(utc(2025, 3, 3), 1.0), (utc(2025, 9, 1, 14, 30), 2.0)])
SETTINGS = {
    "initial routing": (make_frame(), None),
    "dividends, borrow, grid for every cell": (
        make_frame(r=0.03, q=0.01, dividends=dividends), config_with(Policy().fdm(SMALL_GRID))),
    "default grid for Europeans too": (make_frame(dividends=dividends),
                                       config_with(Policy().european().fdm())),
    "American in closed form with q above r": (
        make_frame(r=0.01, q=0.03), config_with(Policy().american().analytic())),
    "mismatched day counts": (vyr.OptionMarketFrame(
        100.0, vyr.RateCurve.continuous(0.05, DCC.ACT_365_FIXED),
        vyr.VolSurface.flat(0.2, DCC.ACT_360)), None),
}


@pytest.mark.parametrize("setting", SETTINGS, ids=list(SETTINGS))
def test_every_row_is_the_single_valuation(setting):
    frame, config = SETTINGS[setting]
    rows = chain_rows()
    result = Option.value_many(*columns(rows), frame, VALUATION, config)
    assert list(result) == VALUE_COLUMNS + ["error"]
    for column in VALUE_COLUMNS:
        assert type(result[column]) is array.array and result[column].typecode == "d"
        assert len(result[column]) == len(rows)
    first_failure = None
    for index, row in enumerate(rows):
        expected = single_value(row, frame, config)
        got = [result[column][index] for column in VALUE_COLUMNS]
        if isinstance(expected, BaseException):
            first_failure = first_failure or expected
            assert result["error"][index] == str(expected), index
            assert all(math.isnan(value) for value in got)
            continue
        assert result["error"][index] is None, (index, result["error"][index])
        # Absent vega and rho (the grid) read NaN; everything else keeps its bits.
        expected = [math.nan if value is None else value for value in expected]
        assert [bits(value) for value in got] == [bits(value) for value in expected], index

    if first_failure is None:
        assert same(Option.value_many(*columns(rows), frame, VALUATION, config, "raise"), result)
        return
    with pytest.raises(type(first_failure)) as info:
        Option.value_many(*columns(rows), frame, VALUATION, config, errors="raise")
    assert info.value.args == first_failure.args


@pytest.mark.parametrize("setting", SETTINGS, ids=list(SETTINGS))
def test_every_row_is_the_single_implied_volatility(setting):
    frame, config = SETTINGS[setting]
    rows = chain_rows()
    # Prices at 30 % volatility as targets; a target below intrinsic, NaN and one far too high.
    priced = Option.value_many(*columns(rows), frame.__class__(
        frame.spot, frame.rate_curve, vyr.VolSurface.flat(0.3, DCC.ACT_365_FIXED),
        frame.dividends, frame.borrow_curve), VALUATION, config)["price"]
    prices = [-1.0 if i % 7 == 3 else math.nan if i % 11 == 5 else 1e4 if i % 13 == 4
              else p for i, p in enumerate(priced)]
    result = Option.implied_vol_many(*columns(rows), prices, frame, VALUATION, config)
    assert list(result) == ["vol", "error"]
    first_failure = None
    for index, row in enumerate(rows):
        expected = single_vol(row, prices[index], frame, config)
        if isinstance(expected, BaseException):
            first_failure = first_failure or expected
            assert result["error"][index] == str(expected), index
            assert math.isnan(result["vol"][index])
        else:
            assert result["error"][index] is None
            assert bits(result["vol"][index]) == bits(expected), index
    assert first_failure is not None
    with pytest.raises(type(first_failure)) as info:
        Option.implied_vol_many(*columns(rows), prices, frame, VALUATION, config, "raise")
    assert info.value.args == first_failure.args


def test_failures_carry_the_single_calls_messages():
    frame = make_frame(r=0.01, q=0.03)
    huge = config_with(Policy().american().put().fdm(vyr.FdmConfig(grid_nodes=2**50)),
                       Policy().american().call().analytic())
    result = Option.value_many(100.0, [EXPIRY, VALUATION, EXPIRY, EXPIRY],
                               [Call, Put, Put, Call], [European, European, American, American],
                               frame, VALUATION, huge)
    assert result["error"][0] is None and result["error"][1] is None
    assert result["error"][2] == "out of memory"
    assert result["error"][3] == ("not implemented: American options with interest rate below "
                                  "dividend yield have not been implemented")
    # At the money at expiry the closed form gives NaN without failing: NaN is no failure.
    assert math.isnan(result["price"][1]) and math.isnan(result["gamma"][1])
    with pytest.raises(MemoryError):
        Option.value_many(100.0, EXPIRY, Put, American, frame, VALUATION, huge, "raise")
    with pytest.raises(PanicException, match="^Solver never ran$"):
        Option.value_many([100.0, 90.0], [EXPIRY, VALUATION], Put, American, frame, VALUATION,
                          errors="raise")
    # The same grid solved for a volatility is refused with the single call's message too.
    solved = Option.implied_vol_many(100.0, VALUATION, Put, American, 5.0, frame, VALUATION)
    assert solved["error"] == ["Solver never ran"]


# ---- Columns ------------------------------------------------------------------------------------


STRIKES = [80.0, 90.0, 100.0, 110.0, 120.0, 130.0]


EXACT = {
    "list": list, "tuple": tuple, "array('d')": lambda xs: array.array("d", xs),
    "ndarray": lambda xs: np.array(xs), "memoryview": lambda xs: memoryview(np.array(xs)),
    "strided ndarray": lambda xs: np.repeat(xs, 2)[::2],
    "reversed view": lambda xs: np.array(xs[::-1])[::-1],
    "numpy scalars": lambda xs: [np.float64(x) for x in xs],
    "strided memoryview": lambda xs: memoryview(array.array("d", [x for x in xs for _ in "ab"]))[::2],
}
# Kinds that hold the strikes exactly, but not every double.
WHOLE = {
    "int64": lambda xs: np.array(xs, dtype=np.int64), "float32": lambda xs: np.float32(xs),
    "array('i')": lambda xs: array.array("i", [int(x) for x in xs]),
    "ints": lambda xs: [int(x) for x in xs],
}


NUMPY_KINDS = {"ndarray", "memoryview", "strided ndarray", "reversed view", "numpy scalars",
               "int64", "float32"}


@pytest.mark.parametrize("kind", list(EXACT) + list(WHOLE))
def test_every_kind_of_column_reads_the_same(kind):
    if kind in NUMPY_KINDS and np is None:
        pytest.skip("needs NumPy")
    make = EXACT.get(kind) or WHOLE[kind]
    frame = make_frame()
    expected = Option.value_many(STRIKES, EXPIRY, Call, European, frame, VALUATION)
    got = Option.value_many(make(STRIKES), EXPIRY, Call, European, frame, VALUATION)
    assert same(got, expected)
    if kind in EXACT:
        prices = list(expected["price"])
        targets = Option.implied_vol_many(STRIKES, EXPIRY, Call, European, prices, frame,
                                          VALUATION)
        assert same(Option.implied_vol_many(STRIKES, EXPIRY, Call, European, make(prices), frame,
                                            VALUATION), targets)


def test_single_values_broadcast():
    frame = make_frame()
    expiries = [EXPIRY, utc(2025, 6, 1)]
    full = Option.value_many([100.0, 100.0], expiries, [Put, Put], (European, European), frame,
                             VALUATION)
    assert same(Option.value_many(100, expiries, Put, European, frame, VALUATION), full)
    if np is not None:
        assert same(Option.value_many(np.float64(100.0), expiries, Put, European, frame,
                                      VALUATION), full)
        assert same(Option.value_many(np.array(100.0), tuple(expiries), Put, European, frame,
                                      VALUATION), full)
    # Nothing but single values: one row.
    one = Option.value_many(100.0, EXPIRY, Put, European, frame, VALUATION)
    assert len(one["price"]) == 1 and one["price"][0] == full["price"][0]
    vols = Option.implied_vol_many(100.0, expiries, Put, European, full["price"][0], frame,
                                   VALUATION)
    assert vols["vol"][0] == pytest.approx(0.2, abs=1e-3) and len(vols["vol"]) == 2


def test_zero_rows():
    frame = make_frame()
    for strikes in ([], (), array.array("d"), memoryview(array.array("d"))):
        result = Option.value_many(strikes, EXPIRY, Call, European, frame, VALUATION)
        assert [len(result[c]) for c in VALUE_COLUMNS] == [0] * 6 and result["error"] == []
        assert type(result["price"]) is array.array
    vols = Option.implied_vol_many(100.0, [], Call, European, 1.0, frame, VALUATION)
    assert vols == {"vol": array.array("d"), "error": []}


@pytest.mark.parametrize("call,message", [
    (lambda f: Option.value_many([1.0, 2.0], [EXPIRY] * 3, Call, European, f),
     "argument 'expiries' has 3 rows, but argument 'strikes' has 2"),
    (lambda f: Option.value_many(1.0, [EXPIRY] * 3, [Call], European, f),
     "argument 'option_types' has 1 rows, but argument 'expiries' has 3"),
    (lambda f: Option.value_many(array.array("d", [1.0] * 4), EXPIRY, Call, [European] * 2, f),
     "argument 'exercise_styles' has 2 rows, but argument 'strikes' has 4"),
    (lambda f: Option.implied_vol_many([1.0], EXPIRY, Call, European, [], f),
     "argument 'prices' has 0 rows, but argument 'strikes' has 1"),
])
def test_lengths_must_agree(call, message):
    with pytest.raises(ValueError) as info:
        call(make_frame())
    assert str(info.value) == message


class Hostile(Exception):
    pass


class Raising:
    def __float__(self):
        raise Hostile("float")


NAIVE_MESSAGE = "Expiry must have a timezone specified (e.g. New York or UTC)"


@pytest.mark.parametrize("arguments,error,message", [
    (dict(strikes=[100.0, 101.0, "x"]), TypeError,
     "argument 'strikes', row 2: must be real number, not str"),
    (dict(strikes="100"), TypeError, "argument 'strikes': must be real number, not str"),
    (dict(strikes=b"ab"), TypeError, "argument 'strikes': must be real number, not bytes"),
    (dict(strikes={1: 2}), TypeError, "argument 'strikes': must be real number, not dict"),
    (dict(strikes=[[1.0, 2.0]]), TypeError, "argument 'strikes', row 0: must be real number"),
    (dict(expiries=[EXPIRY, datetime(2026, 1, 1)]), ValueError,
     f"argument 'expiries', row 1: {NAIVE_MESSAGE}"),
    (dict(expiries=datetime(2026, 1, 1)), ValueError, f"argument 'expiries': {NAIVE_MESSAGE}"),
    (dict(expiries=[date(2026, 1, 1)]), TypeError,
     "argument 'expiries', row 0: 'date' object cannot be cast as 'datetime'"),
    (dict(expiries=1.5), TypeError,
     "argument 'expiries': 'float' object cannot be cast as 'datetime'"),
    (dict(option_types=[Call, "put"]), TypeError,
     "argument 'option_types', row 1: 'str' object cannot be cast as 'OptionType'"),
    (dict(exercise_styles=[Call]), TypeError,
     "argument 'exercise_styles', row 0: 'OptionType' object cannot be cast as 'ExerciseStyle'"),
    (dict(market=[make_frame()]), TypeError,
     "argument 'market': 'list' object cannot be cast as 'OptionMarketFrame'"),
    (dict(valuation_time=datetime(2025, 1, 1)), ValueError,
     "Evaluation time must have a timezone specified (e.g. New York or UTC)"),
    (dict(valuation_time=date(2025, 1, 1)), TypeError,
     "argument 'valuation_time': 'date' object cannot be cast as 'datetime'"),
    (dict(config=Policy()), TypeError,
     "argument 'config': 'InstrumentPolicy' object cannot be cast as 'Config'"),
    (dict(errors="ignore"), ValueError, "errors must be 'nan' or 'raise', not 'ignore'"),
    (dict(errors=None), ValueError, "errors must be 'nan' or 'raise', not None"),
    (dict(strikes=[1.0, Raising()]), Hostile, "float"),
])
def test_a_bad_argument_fails_the_call_before_any_row_is_priced(arguments, error, message):
    """A bad element is the caller's mistake, not a row failure: it raises whatever `errors`
    says, naming the column and the row, with the single call's message for that argument."""
    call = dict(strikes=100.0, expiries=EXPIRY, option_types=Call, exercise_styles=European,
                market=make_frame(), valuation_time=VALUATION, errors="nan")
    call.update(arguments)
    with pytest.raises(error) as info:
        Option.value_many(**call)
    assert str(info.value).startswith(message)
    if error is Hostile:
        assert type(info.value) is Hostile
    with pytest.raises(error) as info:
        Option.implied_vol_many(**call, prices=1.0)
    assert str(info.value).startswith(message)


def test_a_bad_target_names_its_row():
    with pytest.raises(TypeError, match=r"^argument 'prices', row 1: must be real number, not "
                                        r"NoneType$"):
        Option.implied_vol_many(100.0, EXPIRY, Call, European, [1.0, None], make_frame(),
                                VALUATION)


def test_signatures():
    assert Option.value_many.__text_signature__ == (
        "(strikes, expiries, option_types, exercise_styles, market, valuation_time=None, "
        "config=None, errors='nan')")
    assert Option.implied_vol_many.__text_signature__ == (
        "(strikes, expiries, option_types, exercise_styles, prices, market, valuation_time=None, "
        "config=None, errors='nan')")
    with pytest.raises(TypeError, match=r"^VanillaOption.value_many\(\) missing 1 required "
                                        r"positional argument: 'market'$"):
        Option.value_many(100.0, EXPIRY, Call, European)


# ---- Results ------------------------------------------------------------------------------------


@needs_numpy
def test_number_columns_are_buffers_of_doubles():
    result = Option.value_many(STRIKES, EXPIRY, Put, American, make_frame(), VALUATION)
    price = np.asarray(result["price"])
    assert price.dtype == np.float64 and np.shares_memory(price, np.asarray(result["price"]))
    price[0] = -1.0  # a view, not a copy
    assert result["price"][0] == -1.0
    assert np.isnan(np.asarray(result["vega"])).all()
    assert memoryview(result["delta"]).format == "d"


@needs_numpy
def test_a_table_of_the_results():
    pandas = pytest.importorskip("pandas")
    result = Option.value_many(STRIKES, [EXPIRY, VALUATION] * 3, Put, American, make_frame(),
                               VALUATION)
    table = pandas.DataFrame(result)
    assert list(table.columns) == VALUE_COLUMNS + ["error"]
    assert table["price"].dtype == np.float64 and len(table) == 6
    # pandas shows the None of a priced row as a missing value.
    assert table["error"].isna().tolist() == [True, False] * 3
    assert set(table["error"].dropna()) == {"Solver never ran"}


def test_one_valuation_instant_for_the_whole_batch():
    """Without a valuation time the clock is read once: identical rows price identically."""
    result = Option.value_many([100.0] * 2000, datetime.now(UTC) + timedelta(seconds=30), Call,
                               European, make_frame())
    assert len(set(result["price"])) == 1 and result["price"][0] > 0


class CountedStamp(datetime):
    calls = 0

    def timestamp(self):
        type(self).calls += 1
        return super().timestamp()


def test_each_expiry_object_is_converted_once():
    one, two = (CountedStamp(2026, 1, 1, tzinfo=UTC), CountedStamp(2026, 6, 1, tzinfo=UTC))
    same_as_one = CountedStamp(2026, 1, 1, tzinfo=UTC)
    CountedStamp.calls = 0
    expiries = [one, two, one, one, same_as_one, two] * 500
    result = Option.value_many(100.0, expiries, Call, European, make_frame(), VALUATION)
    # By identity: an equal but distinct datetime is converted on its own.
    assert CountedStamp.calls == 3
    assert result["price"][0] == result["price"][4] != result["price"][1]


# ---- The interpreter lock and snapshots ---------------------------------------------------------


def linspace(low, high, count):
    return array.array("d", (low + (high - low) * i / (count - 1) for i in range(count)))


def long_batch(frame, config, rows=120):
    return Option.value_many(linspace(80.0, 120.0, rows), EXPIRY, Put, American, frame,
                             VALUATION, config)


def test_other_threads_run_while_a_batch_prices():
    """The watching thread wakes every millisecond and notes the time. A batch that held the lock
    would keep it from noting any time in the middle of the call; with the lock released it
    notes it all along."""
    fine = config_with(Policy().fdm(vyr.FdmConfig(time_steps=400, grid_nodes=801)))
    frame = make_frame()
    strikes = linspace(80.0, 120.0, 120)
    finished = threading.Event()
    call, results = [], []

    def price():
        call.append(time.perf_counter())
        results.append(Option.value_many(strikes, EXPIRY, Put, American, frame, VALUATION, fine))
        call.append(time.perf_counter())
        finished.set()

    worker = threading.Thread(target=price)
    stamps = []
    worker.start()
    while not finished.is_set():
        stamps.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    assert results[0]["error"] == [None] * 120
    begin, end = call
    quarter = (end - begin) / 4
    during = [stamp for stamp in stamps if begin + quarter < stamp < end - quarter]
    # About one stamp per millisecond of the middle half (over a hundred); none if held.
    assert len(during) >= 10, (len(during), end - begin)


def test_concurrent_changes_never_show_half_way():
    """One thread prices batches while another keeps reassigning the spot and adding policies.
    The batch copies both under the lock, so every batch is one of the four consistent states,
    and the writes never meet a borrow (the batch holds none while it prices)."""
    frame = make_frame(spot=100.0)
    config = vyr.Config()
    analytic, grid = Policy().analytic(), Policy().fdm(SMALL_GRID)
    rows = (linspace(70.0, 130.0, 400), [EXPIRY, utc(2025, 7, 1)] * 200, Put, European)

    def state(spot, policy):
        return Option.value_many(*rows, make_frame(spot=spot), VALUATION,
                                 config_with(policy))["price"]

    references = {state(spot, policy).tobytes(): (spot, name) for spot in (100.0, 120.0)
                  for name, policy in (("analytic", analytic), ("grid", grid))}
    assert len(references) == 4
    config.add_policy(analytic)
    stop, started = threading.Event(), threading.Event()
    writes = []

    def writer():
        count = 0
        while not stop.is_set():
            frame.spot = 120.0 if count % 2 else 100.0
            config.add_policy(grid if count % 3 else analytic)
            count += 1
            started.set()
        writes.append(count)

    thread = threading.Thread(target=writer)
    thread.start()
    seen = set()
    try:
        assert started.wait(30)
        # Until the batches have met several states (bounded, for a very busy machine).
        for _ in range(3000):
            price = Option.value_many(*rows, frame, VALUATION, config)["price"]
            seen.add(references[price.tobytes()])
            if len(seen) == 4:
                break
    finally:
        stop.set()
        thread.join()
    assert writes[0] > 0
    assert len(seen) >= 2, seen


class Hook:
    def __init__(self, action, value=100.0):
        self.action, self.value = action, value

    def __float__(self):
        self.action()
        return self.value


def test_a_strike_hook_that_moves_the_spot_is_seen_by_its_own_batch():
    """Arguments are read in order; the frame is copied after the strikes."""
    frame = make_frame(spot=100.0)
    result = Option.value_many([Hook(lambda: setattr(frame, "spot", 120.0)), 100.0], EXPIRY,
                               Call, European, frame, VALUATION)
    expected = Option.value_many(100.0, EXPIRY, Call, European, make_frame(spot=120.0),
                                 VALUATION)
    assert result["price"][0] == result["price"][1] == expected["price"][0]


def test_a_batch_inside_a_write_of_its_frame_panics_like_a_builder():
    frame = make_frame(spot=100.0)
    with pytest.raises(PanicException) as info:
        frame.spot = Hook(lambda: Option.value_many(100.0, EXPIRY, Call, European, frame))
    assert info.value.args == ("Already mutably borrowed",)
    assert frame.spot == 100.0
    frame.spot = 101.0
    assert Option.value_many(100.0, EXPIRY, Call, European, frame, VALUATION)["error"] == [None]


def test_two_threads_price_separate_batches_alike():
    frame, config = make_frame(), config_with(Policy().fdm(SMALL_GRID))
    serial = [long_batch(frame, config, rows=300) for _ in range(2)]
    results = [None, None]

    def run(index):
        results[index] = long_batch(frame, config, rows=300)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert all(same(result, expected) for result, expected in zip(results, serial))
