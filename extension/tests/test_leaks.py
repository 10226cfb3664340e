"""Reference and memory leaks: every public operation, succeeding and failing, repeated many
times. The reference counts of its arguments, of every class object (each instance holds one) and
of the objects it returns stay unchanged, Python's traced memory stays flat, and so does the
process's resident memory, which also covers the core's own allocations."""

import array
import gc
import sys
import tracemalloc
from datetime import date, datetime, timedelta, timezone

import pytest

import vyr
from conftest import PanicException

UTC = timezone.utc
DCC = vyr.DayCountConvention
ACT365 = DCC.ACT_365_FIXED
VALUATION = datetime(2025, 1, 1, tzinfo=UTC)
EXPIRY = datetime(2026, 1, 1, tzinfo=UTC)


class Hostile(Exception):
    pass


class Raising:
    def __float__(self):
        raise Hostile("float")

    def __index__(self):
        raise Hostile("index")


class BadOffset(datetime):
    def utcoffset(self):
        raise Hostile("utcoffset")


class Writer:
    def __float__(self):
        NS.frame.spot = 1.0
        return 2.0


class Computer:
    def __float__(self):
        NS.analytic.compute()
        return 2.0


class FarFuture(datetime):
    def timestamp(self):
        return 1e300


class Namespace:
    """The arguments every operation uses; the same objects on every repetition, so their
    reference counts can be compared."""

    def __init__(self):
        self.freq = vyr.Frequency.Quarterly
        self.simple = vyr.Compounding.simple()
        self.stc = vyr.Compounding.simple_then_compounded(self.freq)
        self.rate = vyr.InterestRate(0.05, vyr.Compounding.continuous(), ACT365)
        self.stc_rate = vyr.InterestRate(0.05, self.stc, ACT365)
        self.t = 1.5
        self.text = "x"
        self.big = 2**40
        self.raising = Raising()
        self.tenor = vyr.Tenor.months(3)
        self.tenors = [vyr.Tenor.years(1), vyr.Tenor.years(2)]
        self.rates = [self.rate, self.rate]
        self.day = date(2024, 1, 31)
        self.curve = vyr.RateCurve.continuous(0.05, ACT365)
        self.borrow = vyr.RateCurve.continuous(0.01, ACT365)
        self.interpolated = vyr.RateCurve.interpolated(self.day, self.tenors, self.rates)
        self.surface = vyr.VolSurface.flat(0.2, ACT365)
        self.surface360 = vyr.VolSurface.flat(0.2, DCC.ACT_360)
        self.ex_date = datetime(2025, 6, 1, tzinfo=UTC)
        self.pairs = [(self.ex_date + timedelta(days=i), 0.1) for i in range(0, 240, 20)]
        self.dividends = vyr.DividendSchedule(self.pairs)
        self.frame = vyr.OptionMarketFrame(100.0, self.curve, self.surface, self.dividends,
                                           self.borrow)
        self.bad_frame = vyr.OptionMarketFrame(100.0, self.curve, self.surface360)
        self.interpolated_frame = vyr.OptionMarketFrame(100.0, self.interpolated, self.surface)
        self.call = vyr.VanillaOption(100.0, EXPIRY, vyr.OptionType.Call,
                                      vyr.ExerciseStyle.European)
        self.put = vyr.VanillaOption(100.0, EXPIRY, vyr.OptionType.Put,
                                     vyr.ExerciseStyle.American)
        self.expired = vyr.VanillaOption(100.0, VALUATION, vyr.OptionType.Put,
                                         vyr.ExerciseStyle.American)
        self.valuation = VALUATION
        self.naive = datetime(2025, 1, 1)
        self.bad_offset = BadOffset(2025, 1, 1, tzinfo=UTC)
        self.far_future = FarFuture(2025, 1, 1, tzinfo=UTC)
        self.writer = Writer()
        self.computer = Computer()
        self.grid = vyr.FdmConfig(time_steps=5, grid_nodes=21)
        self.huge_grid = vyr.FdmConfig(grid_nodes=2**50)
        self.transform = vyr.TransformConfig.sinh(0.3)
        self.policy = vyr.InstrumentPolicy().fdm(self.grid)
        self.huge_policy = vyr.InstrumentPolicy().fdm(self.huge_grid)
        self.config = vyr.Config().add_policy(self.policy)
        self.huge_config = vyr.Config().add_policy(self.huge_policy)
        self.analytic = self.call.valuation().market(self.frame).at(VALUATION)
        self.grid_builder = self.put.valuation().market(self.frame).at(VALUATION)
        self.grid_builder.config(self.config)
        self.result = self.analytic.compute()
        self.grid_result = self.grid_builder.compute()
        self.greeks = self.result.greeks
        self.target = self.result.price
        self.solver = self.call.implied_vol().market(self.frame).at(VALUATION).price(self.target)
        self.grid_solver = self.put.implied_vol().market(self.frame).at(VALUATION)
        self.grid_solver.config(self.config).price(self.grid_result.price)
        self.fresh_valuation = self.call.valuation()
        self.fresh_solver = self.call.implied_vol()
        self.strikes = [90.0, 100.0, 110.0]
        self.strike_buffer = array.array("d", self.strikes)
        self.expiries = [EXPIRY, VALUATION, EXPIRY]
        self.types = [vyr.OptionType.Call, vyr.OptionType.Put, vyr.OptionType.Call]
        self.targets = [10.0, -1.0, self.target]
        self.bad_strikes = [1.0, "x"]
        self.raising_strikes = [1.0, self.raising]
        self.naive_expiries = [EXPIRY, self.naive]
        self.errors = "raise"
        self.bad_errors = "ignore"


NS = Namespace()


def under_sanitizer():
    """Whether the sanitizer runtime is loaded into the process (the sanitized test run)."""
    try:
        with open("/proc/self/maps") as maps:
            return "libasan" in maps.read()
    except OSError:
        return False


SANITIZED = under_sanitizer()
ImpliedVolBuilder = type(NS.solver)
CLASSES = [getattr(vyr, name) for name in vyr.__all__] + [
    ImpliedVolBuilder, DCC.THIRTY_360, DCC.ACT_ACT, PanicException]


def set_frame_fields(n):
    n.frame.spot = n.t
    n.frame.rate_curve = n.curve
    n.frame.vol_surface = n.surface
    n.frame.dividends = n.dividends
    n.frame.dividends = None
    n.frame.borrow_curve = None
    n.frame.borrow_curve = n.borrow
    n.frame.spot = 100.0
    n.frame.dividends = n.dividends


# (name, operation, exception it raises or None). Each operation reads its arguments from NS.
SUCCEEDING = [
    ("fixed-point policy and valuation", lambda n: n.put.valuation().market(
        n.interpolated_frame).at(n.valuation).config(vyr.Config().add_policy(
            vyr.InstrumentPolicy().fixed_point(iterations=3))).compute()),
    ("interpolated rate curve priced", lambda n: n.call.valuation().market(
        n.interpolated_frame).at(n.valuation).compute()),
    ("Compounding factories", lambda n: (vyr.Compounding.simple(), vyr.Compounding.continuous(),
                                         vyr.Compounding.compounded(n.freq),
                                         vyr.Compounding.simple_then_compounded(n.freq))),
    ("Compounding repr", lambda n: repr(n.stc)),
    ("DayCountConvention repr", lambda n: repr(DCC.THIRTY_360.GERMAN_ISDA)),
    ("Frequency value, int and repr", lambda n: (n.freq.value, int(n.freq), repr(n.freq))),
    ("InterestRate()", lambda n: vyr.InterestRate(n.t, n.simple, ACT365)),
    ("InterestRate.discount_factor", lambda n: n.rate.discount_factor(n.t)),
    ("VanillaOption()", lambda n: vyr.VanillaOption(n.t, n.valuation, vyr.OptionType.Put,
                                                    vyr.ExerciseStyle.European)),
    ("VanillaOption.strike", lambda n: n.call.strike),
    ("VanillaOption.years_to_expiry", lambda n: n.call.years_to_expiry(n.valuation)),
    ("VanillaOption.years_to_expiry now", lambda n: n.call.years_to_expiry()),
    ("VanillaOption.valuation", lambda n: n.call.valuation()),
    ("VanillaOption.implied_vol", lambda n: n.call.implied_vol()),
    ("OptionMarketFrame()", lambda n: vyr.OptionMarketFrame(n.t, n.curve, n.surface, n.dividends,
                                                            n.borrow)),
    ("OptionMarketFrame getters", lambda n: (n.frame.spot, n.frame.rate_curve,
                                             n.frame.vol_surface, n.frame.dividends,
                                             n.frame.borrow_curve)),
    ("OptionMarketFrame setters", set_frame_fields),
    ("Tenor factories", lambda n: (vyr.Tenor.days(3), vyr.Tenor.weeks(3), vyr.Tenor.months(3),
                                   vyr.Tenor.years(3))),
    ("Tenor.advance", lambda n: n.tenor.advance(n.day)),
    ("RateCurve.flat", lambda n: vyr.RateCurve.flat(n.rate)),
    ("RateCurve.continuous", lambda n: vyr.RateCurve.continuous(n.t, ACT365)),
    ("RateCurve.interpolated", lambda n: vyr.RateCurve.interpolated(n.day, n.tenors, n.rates)),
    ("RateCurve rates", lambda n: (n.interpolated.zero_rate(n.t),
                                   n.interpolated.discount_factor(n.t), n.curve.zero_rate(n.t),
                                   n.curve.discount_factor(n.t))),
    ("VolSurface", lambda n: vyr.VolSurface.flat(n.t, ACT365).volatility(n.t, n.t)),
    ("FdmConfig()", lambda n: vyr.FdmConfig(10, 101, n.t, n.transform)),
    ("TransformConfig", lambda n: (vyr.TransformConfig.log(), vyr.TransformConfig.sinh(n.t))),
    ("Config()", lambda n: vyr.Config()),
    ("Config.add_policy", lambda n: n.config.add_policy(n.policy)),
    ("OptionType and ExerciseStyle", lambda n: (repr(vyr.OptionType.Put),
                                                int(vyr.ExerciseStyle.European))),
    ("InstrumentPolicy chain", lambda n: vyr.InstrumentPolicy().american().european().put()
     .call().analytic().fdm(n.grid).fdm()),
    ("ValuationBuilder()", lambda n: vyr.ValuationBuilder(n.call)),
    ("ValuationBuilder setters", lambda n: n.fresh_valuation.market(n.frame).at(n.valuation)
     .at(None).config(n.config).config(None)),
    ("ValuationBuilder.compute analytic", lambda n: n.analytic.compute()),
    ("ValuationBuilder.compute grid", lambda n: n.grid_builder.compute()),
    ("OptionResult", lambda n: (n.result.price, n.result.greeks, repr(n.result))),
    ("Greeks", lambda n: (n.greeks.delta, n.greeks.gamma, n.greeks.theta, n.greeks.vega,
                          n.greeks.rho, n.grid_result.greeks.vega)),
    ("PeriodCalculator", lambda n: (vyr.PeriodCalculator.days_between(n.day, n.day, ACT365),
                                    vyr.PeriodCalculator.year_fraction(n.valuation, n.ex_date,
                                                                       ACT365))),
    ("DividendSchedule()", lambda n: vyr.DividendSchedule(n.pairs)),
    ("ImpliedVolBuilder()", lambda n: ImpliedVolBuilder(n.call)),
    ("ImpliedVolBuilder setters", lambda n: n.fresh_solver.price(n.t).market(n.frame)
     .at(n.valuation).at(None).config(n.config).config(None)),
    ("ImpliedVolBuilder.calculate analytic", lambda n: n.solver.calculate()),
    ("ImpliedVolBuilder.calculate grid", lambda n: n.grid_solver.calculate()),
    ("VanillaOption.value_many analytic", lambda n: vyr.VanillaOption.value_many(
        n.strikes, n.expiries, n.types, vyr.ExerciseStyle.European, n.frame, n.valuation)),
    ("VanillaOption.value_many grid, failing rows", lambda n: vyr.VanillaOption.value_many(
        n.strike_buffer, n.expiries, vyr.OptionType.Put, vyr.ExerciseStyle.American, n.frame,
        n.valuation, n.config)),
    ("VanillaOption.value_many now", lambda n: vyr.VanillaOption.value_many(
        n.t, n.expiries, vyr.OptionType.Put, vyr.ExerciseStyle.European, n.frame)),
    ("VanillaOption.implied_vol_many", lambda n: vyr.VanillaOption.implied_vol_many(
        n.strikes, n.expiries, n.types, vyr.ExerciseStyle.European, n.targets, n.frame,
        n.valuation, n.config)),
    ("VanillaOption.implied_vol_many grid", lambda n: vyr.VanillaOption.implied_vol_many(
        n.strike_buffer, EXPIRY, vyr.OptionType.Put, vyr.ExerciseStyle.American, n.targets,
        n.frame, n.valuation, n.config)),
]

FAILING = [
    ("missing argument", lambda n: vyr.InterestRate(n.t), TypeError),
    ("too many arguments", lambda n: n.rate.discount_factor(n.t, n.t), TypeError),
    ("unexpected keyword", lambda n: vyr.Tenor.days(n=3, m=n.t), TypeError),
    ("multiple values", lambda n: vyr.Tenor.days(3, n=n.t), TypeError),
    ("no constructor", lambda n: vyr.Greeks(), TypeError),
    ("float from str", lambda n: n.rate.discount_factor(n.text), TypeError),
    ("float hook raising", lambda n: n.rate.discount_factor(n.raising), Hostile),
    ("index hook raising", lambda n: vyr.FdmConfig(n.raising), Hostile),
    ("int32 overflow", lambda n: vyr.Tenor.days(n.big), OverflowError),
    ("uint64 negative", lambda n: vyr.FdmConfig(grid_nodes=-n.big), OverflowError),
    ("wrong class", lambda n: vyr.RateCurve.flat(n.curve), TypeError),
    ("str for a sequence", lambda n: vyr.RateCurve.interpolated(n.day, n.text, n.rates),
     TypeError),
    ("item of the wrong class", lambda n: vyr.RateCurve.interpolated(n.day, n.rates, n.rates),
     TypeError),
    ("curve length mismatch", lambda n: vyr.RateCurve.interpolated(n.day, n.tenors, n.rates[:1]),
     ValueError),
    ("pair of the wrong length", lambda n: vyr.DividendSchedule([(n.ex_date, 1.0, 2.0)]),
     ValueError),
    ("plain date as ex-date", lambda n: vyr.DividendSchedule([(n.day, 1.0)]), TypeError),
    ("naive ex-date", lambda n: vyr.DividendSchedule([(n.naive, 1.0)]), ValueError),
    ("naive expiry", lambda n: vyr.VanillaOption(n.t, n.naive, vyr.OptionType.Put,
                                                 vyr.ExerciseStyle.European), ValueError),
    ("date as expiry", lambda n: vyr.VanillaOption(n.t, n.day, vyr.OptionType.Put,
                                                   vyr.ExerciseStyle.European), TypeError),
    ("utcoffset raising", lambda n: n.call.years_to_expiry(n.bad_offset), Hostile),
    ("unrepresentable instant", lambda n: n.fresh_valuation.at(n.far_future), ValueError),
    ("not UTC", lambda n: vyr.PeriodCalculator.year_fraction(
        n.valuation, datetime(2025, 1, 1, tzinfo=timezone(timedelta(hours=1))), ACT365),
     ValueError),
    ("delete attribute", lambda n: delattr(n.frame, "spot"), AttributeError),
    ("setter of the wrong class", lambda n: setattr(n.frame, "vol_surface", n.curve), TypeError),
    ("no market", lambda n: n.call.valuation().compute(), ValueError),
    ("mismatched conventions", lambda n: n.call.valuation().market(n.bad_frame).compute(),
     ValueError),
    ("no target", lambda n: n.call.implied_vol().market(n.frame).calculate(), ValueError),
    ("not bracketed", lambda n: n.call.implied_vol().market(n.frame).at(n.valuation)
     .price(-n.t).calculate(), ValueError),
    ("discount factor not implemented", lambda n: n.stc_rate.discount_factor(n.t),
     PanicException),
    ("fixed-point setting out of range", lambda n: vyr.InstrumentPolicy().fixed_point(
        iterations=1000), ValueError),
    ("fixed-point method refusing a dividend", lambda n: n.put.valuation().market(n.frame)
     .at(n.valuation).config(vyr.Config().add_policy(vyr.InstrumentPolicy().fixed_point()))
     .compute(), ValueError),
    ("negative months advanced", lambda n: vyr.Tenor.months(-1).advance(n.day), PanicException),
    ("solver never ran", lambda n: n.expired.valuation().market(n.frame).at(n.valuation)
     .compute(), PanicException),
    ("grid beyond memory", lambda n: n.put.valuation().market(n.frame).at(n.valuation)
     .config(n.huge_config).compute(), MemoryError),
    ("solve on a grid beyond memory", lambda n: n.put.implied_vol().market(n.frame)
     .at(n.valuation).config(n.huge_config).price(n.t).calculate(), MemoryError),
    ("chain lengths differ", lambda n: vyr.VanillaOption.value_many(
        n.strikes, n.naive_expiries, n.types, vyr.ExerciseStyle.European, n.frame), ValueError),
    ("chain element of the wrong type", lambda n: vyr.VanillaOption.value_many(
        n.bad_strikes, EXPIRY, n.types[0], vyr.ExerciseStyle.European, n.frame), TypeError),
    ("chain element hook raising", lambda n: vyr.VanillaOption.implied_vol_many(
        n.t, EXPIRY, n.types[0], vyr.ExerciseStyle.European, n.raising_strikes, n.frame),
     Hostile),
    ("chain naive expiry", lambda n: vyr.VanillaOption.value_many(
        n.t, n.naive_expiries, n.types[0], vyr.ExerciseStyle.European, n.frame), ValueError),
    ("chain raising its first failure", lambda n: vyr.VanillaOption.value_many(
        n.strikes, n.expiries, vyr.OptionType.Put, vyr.ExerciseStyle.American, n.frame,
        n.valuation, n.config, n.errors), PanicException),
    ("chain solve raising its first failure", lambda n: vyr.VanillaOption.implied_vol_many(
        n.strikes, EXPIRY, n.types, vyr.ExerciseStyle.European, n.targets, n.frame,
        n.valuation, None, n.errors), ValueError),
    ("chain on a grid beyond memory", lambda n: vyr.VanillaOption.value_many(
        n.strikes, EXPIRY, vyr.OptionType.Put, vyr.ExerciseStyle.American, n.frame,
        n.valuation, n.huge_config, n.errors), MemoryError),
    ("chain with bad errors", lambda n: vyr.VanillaOption.value_many(
        n.strikes, EXPIRY, n.types, vyr.ExerciseStyle.European, n.frame, n.valuation, None,
        n.bad_errors), ValueError),
    ("re-entrant write", lambda n: setattr(n.frame, "spot", n.writer), RuntimeError),
    ("re-entrant compute", lambda n: setattr(n.frame, "spot", n.computer), PanicException),
]

OPERATIONS = [(name, call, None) for name, call in SUCCEEDING] + FAILING


def watched_objects():
    return list(vars(NS).values()) + CLASSES


def run(operation, expected):
    """One call; the objects it returned are checked for extra references."""
    if expected is not None:
        with pytest.raises(expected):
            operation(NS)
        return
    results = operation(NS)
    items = results if isinstance(results, tuple) else (results,)
    del results
    for result in items:
        fresh = type(result) is float or type(result) is str or (
            type(result) in CLASSES and all(result is not value for value in vars(NS).values()))
        if fresh:
            # Held only by `items`, `result` and the argument of getrefcount.
            assert sys.getrefcount(result) == 3, (result, sys.getrefcount(result))


def measure(operation, expected, times):
    for _ in range(times):
        run(operation, expected)


@pytest.mark.parametrize("name,operation,expected", OPERATIONS, ids=[o[0] for o in OPERATIONS])
def test_operation_leaks_nothing(name, operation, expected):
    watched = watched_objects()
    times = 400
    measure(operation, expected, 20)
    gc.collect()
    counts = [sys.getrefcount(obj) for obj in watched]
    if SANITIZED:
        # Under the sanitizer runtime CPython's own datetime calls show traced growth, so only
        # the reference counts are compared; LeakSanitizer checks the memory at exit.
        measure(operation, expected, times)
        gc.collect()
        assert [sys.getrefcount(obj) for obj in watched] == counts
        return
    tracemalloc.start()
    try:
        measure(operation, expected, 20)
        gc.collect()
        before = tracemalloc.get_traced_memory()[0]
        measure(operation, expected, times)
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(obj) for obj in watched] == counts
    # A leak of even the smallest object on every call would add 16 bytes or more per call.
    assert grown < 8 * times, f"{grown} bytes more after {times} calls"


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096




@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm")
def test_resident_memory_stays_flat():
    """The core allocates outside Python's allocator (grids, curves, vectors in values); a leak
    there shows only in the resident memory of the process."""
    if SANITIZED:
        pytest.skip("the sanitizer's quarantine holds freed memory; LeakSanitizer covers this")

    def sweep(times):
        for _ in range(times):
            for _, operation, expected in OPERATIONS:
                run(operation, expected)

    sweep(50)
    gc.collect()
    before = resident_bytes()
    sweep(2000)
    gc.collect()
    grown = resident_bytes() - before
    assert grown < 1024 * 1024, f"resident memory grew by {grown} bytes"
