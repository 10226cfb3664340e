# Type stubs of the extension module `vyr`.
#
# Conventions of these stubs:
# - Every class is final: none can be subclassed at run time.
# - A class that has no constructor declares no `__new__`; calling it raises
#   TypeError "cannot create 'builtins.<Name>' instances". Its instances come from static
#   methods, class attributes or other objects' methods.
# - Real-number parameters accept what Python's float conversion accepts (`float`, `int`,
#   objects with `__float__` or `__index__`); integer parameters accept `int` or any object
#   with `__index__`.
# - Builder methods change the object in place and return it, typed `Self`.
# - Every parameter is positional-or-keyword at run time, under the names used here. The one
#   exception in these stubs is `Tenor.advance`, whose parameter is named `from` at run time:
#   `from` is a Python keyword and cannot be written as a parameter name, so the stub declares
#   it positional-only. Pass the date positionally.
# - `ImpliedVolBuilder` is declared here for annotations only: it is not an attribute of the
#   module at run time (import it under `typing.TYPE_CHECKING`); instances come from
#   `VanillaOption.implied_vol()`. The same holds for the grouping classes `Thirty360` and
#   `ActAct`, reachable at run time as `DayCountConvention.THIRTY_360` and
#   `DayCountConvention.ACT_ACT`.
# - Failures the library cannot handle raise `PanicException`, a class derived from
#   BaseException (not Exception) that is not a module attribute either.
# - `ValuationColumns` and `ImpliedVolColumns` are the TypedDicts of what
#   `VanillaOption.value_many` and `VanillaOption.implied_vol_many` return; they exist for
#   annotations only (import them under `typing.TYPE_CHECKING`).

from array import array
from collections.abc import Sequence
from datetime import date, datetime
from typing import ClassVar, Literal, SupportsFloat, SupportsIndex, TypedDict, final

from typing_extensions import Buffer, Self, TypeAlias

__all__ = [
    "Compounding",
    "DayCountConvention",
    "Frequency",
    "InterestRate",
    "VanillaOption",
    "OptionMarketFrame",
    "Tenor",
    "RateCurve",
    "VolSurface",
    "FdmConfig",
    "Config",
    "OptionType",
    "ExerciseStyle",
    "ValuationBuilder",
    "OptionResult",
    "Greeks",
    "InstrumentPolicy",
    "PeriodCalculator",
    "DividendSchedule",
    "TransformConfig",
]

_Real: TypeAlias = SupportsFloat | SupportsIndex
_Integer: TypeAlias = SupportsIndex
# A column argument of the chain methods: one value per row, or one value for every row. A buffer
# of doubles (a NumPy float64 array, `array.array('d')`) is read without a Python object per row.
_RealColumn: TypeAlias = Sequence[_Real] | Buffer | _Real
_DateTimeColumn: TypeAlias = Sequence[datetime] | datetime
_OptionTypeColumn: TypeAlias = Sequence[OptionType] | OptionType
_ExerciseStyleColumn: TypeAlias = Sequence[ExerciseStyle] | ExerciseStyle
_Errors: TypeAlias = Literal["nan", "raise"]

# Calendar: day counts, frequencies, tenors, the period calculator

@final
class DayCountConvention:
    """A day-count convention; values are the class attributes, compared by identity."""

    ACT_360: ClassVar[DayCountConvention]
    """Actual/360: whole seconds / (360 * 86400)."""
    ACT_365_FIXED: ClassVar[DayCountConvention]
    """Actual/365 Fixed: whole seconds / (365 * 86400); all pricing times use it."""
    THIRTY_360: ClassVar[type[Thirty360]]
    """The 30/360 conventions: `US_ISDA`, `EUROBOND_ISMA`, `GERMAN_ISDA`."""
    ACT_ACT: ClassVar[type[ActAct]]
    """The Actual/Actual conventions: `ISDA`."""
    ISDA: ClassVar[DayCountConvention]
    """Actual/Actual (ISDA), the same object as `ACT_ACT.ISDA`."""
    US_ISDA: ClassVar[DayCountConvention]
    """30/360 United States (ISDA), the same object as `THIRTY_360.US_ISDA`."""
    EUROBOND_ISMA: ClassVar[DayCountConvention]
    """30/360 Eurobond (ISMA), the same object as `THIRTY_360.EUROBOND_ISMA`."""
    GERMAN_ISDA: ClassVar[DayCountConvention]
    """30/360 German (ISDA), the same object as `THIRTY_360.GERMAN_ISDA`."""
    def __repr__(self) -> str: ...

@final
class Thirty360:
    """Grouping class of the 30/360 conventions (`DayCountConvention.THIRTY_360`)."""

    US_ISDA: ClassVar[DayCountConvention]
    EUROBOND_ISMA: ClassVar[DayCountConvention]
    GERMAN_ISDA: ClassVar[DayCountConvention]

@final
class ActAct:
    """Grouping class of the Actual/Actual conventions (`DayCountConvention.ACT_ACT`)."""

    ISDA: ClassVar[DayCountConvention]

@final
class Frequency:
    """Compounding frequency. `value` is the periods per year; `int()` the declaration index."""

    Annual: ClassVar[Frequency]
    SemiAnnual: ClassVar[Frequency]
    Quarterly: ClassVar[Frequency]
    Monthly: ClassVar[Frequency]
    @property
    def value(self) -> int:
        """Periods per year: 1, 2, 4 or 12."""
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...

@final
class Tenor:
    """A signed count of days, weeks, months or years."""

    @staticmethod
    def days(n: _Integer) -> Tenor: ...
    @staticmethod
    def weeks(n: _Integer) -> Tenor: ...
    @staticmethod
    def months(n: _Integer) -> Tenor: ...
    @staticmethod
    def years(n: _Integer) -> Tenor: ...
    # Run-time parameter name: `from` (a Python keyword), hence positional-only here.
    def advance(self, from_: date, /) -> date:
        """The date `from` moved by the tenor; a datetime contributes its calendar date only.

        Months and years clamp the day to the end of the target month; advancing a negative
        number of months or years raises PanicException.
        """

@final
class PeriodCalculator:
    """Day counts between dates and year fractions between instants."""

    @staticmethod
    def days_between(start: date, end: date, convention: DayCountConvention) -> int:
        """Signed day count from `start` to `end` under `convention` (dates; times ignored)."""
    @staticmethod
    def year_fraction(start: datetime, end: datetime, convention: DayCountConvention) -> float:
        """Year fraction between two datetimes whose tzinfo is `datetime.timezone.utc`."""

# Rates

@final
class Compounding:
    """A compounding rule for `InterestRate`."""

    @staticmethod
    def simple() -> Compounding: ...
    @staticmethod
    def continuous() -> Compounding: ...
    @staticmethod
    def compounded(freq: Frequency) -> Compounding: ...
    @staticmethod
    def simple_then_compounded(freq: Frequency) -> Compounding:
        """Accepted in rates, but their discount factors raise PanicException."""
    def __repr__(self) -> str: ...

@final
class InterestRate:
    """A nominal annual rate (0.05 for 5 %) with its compounding and day-count convention."""

    def __new__(cls, rate: _Real, compounding: Compounding, dcc: DayCountConvention) -> Self: ...
    def discount_factor(self, t: _Real) -> float:
        """Discount factor at `t` years under the rate's compounding."""

# Market data

@final
class RateCurve:
    """A zero-rate curve: flat, continuous, or interpolated from tenors."""

    @staticmethod
    def flat(rate: InterestRate) -> RateCurve: ...
    @staticmethod
    def continuous(rate: _Real, day_count_convention: DayCountConvention) -> RateCurve: ...
    @staticmethod
    def interpolated(
        reference_date: date, tenors: Sequence[Tenor], rates: Sequence[InterestRate]
    ) -> RateCurve:
        """Linear in the nominal rates over node times; tenors in increasing order.

        Usable as a borrow curve; as the discounting curve of a market frame, pricing raises
        PanicException.
        """
    def zero_rate(self, t: _Real) -> float: ...
    def discount_factor(self, t: _Real) -> float: ...

@final
class VolSurface:
    """A flat Black-Scholes volatility with the day-count convention of its times."""

    @staticmethod
    def flat(vol: _Real, day_count: DayCountConvention) -> VolSurface: ...
    def volatility(self, strike: _Real, t: _Real) -> float: ...

@final
class DividendSchedule:
    """Discrete cash dividends: (timezone-aware ex-datetime, amount) pairs in the given order."""

    def __new__(cls, raw_divs: Sequence[tuple[datetime, _Real]]) -> Self: ...

@final
class OptionMarketFrame:
    """Spot, rate curve, volatility surface, dividends and optional borrow curve.

    Every read returns a new object holding a copy; every write copies the value in.
    """

    def __new__(
        cls,
        spot: _Real,
        rate_curve: RateCurve,
        vol_surface: VolSurface,
        dividends: DividendSchedule | None = None,
        borrow_curve: RateCurve | None = None,
    ) -> Self: ...
    @property
    def spot(self) -> float: ...
    @spot.setter
    def spot(self, value: _Real) -> None: ...
    @property
    def rate_curve(self) -> RateCurve: ...
    @rate_curve.setter
    def rate_curve(self, value: RateCurve) -> None: ...
    @property
    def vol_surface(self) -> VolSurface: ...
    @vol_surface.setter
    def vol_surface(self, value: VolSurface) -> None: ...
    @property
    def dividends(self) -> DividendSchedule:
        """The dividends; an empty schedule when there are none. Assign None to empty them."""
    @dividends.setter
    def dividends(self, value: DividendSchedule | None) -> None: ...
    @property
    def borrow_curve(self) -> RateCurve | None:
        """The borrow (continuous yield) curve, or None when absent (yield 0)."""
    @borrow_curve.setter
    def borrow_curve(self, value: RateCurve | None) -> None: ...

# Instruments

@final
class OptionType:
    """Call (`int` 0) or Put (`int` 1); values are compared by identity."""

    Call: ClassVar[OptionType]
    Put: ClassVar[OptionType]
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...

@final
class ExerciseStyle:
    """American (`int` 0) or European (`int` 1); values are compared by identity."""

    American: ClassVar[ExerciseStyle]
    European: ClassVar[ExerciseStyle]
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...

@final
class VanillaOption:
    """A call or put with a strike and a timezone-aware expiry, European or American."""

    def __new__(
        cls,
        strike: _Real,
        expiry_time: datetime,
        option_type: OptionType,
        exercise_style: ExerciseStyle,
    ) -> Self: ...
    @property
    def strike(self) -> float: ...
    def years_to_expiry(self, valuation_date: datetime | None = None) -> float:
        """Actual/365 Fixed years (whole seconds) from `valuation_date`, or now, to expiry."""
    def valuation(self) -> ValuationBuilder:
        """A new valuation request for this option."""
    def implied_vol(self) -> ImpliedVolBuilder:
        """A new implied-volatility request for this option."""
    @staticmethod
    def value_many(
        strikes: _RealColumn,
        expiries: _DateTimeColumn,
        option_types: _OptionTypeColumn,
        exercise_styles: _ExerciseStyleColumn,
        market: OptionMarketFrame,
        valuation_time: datetime | None = None,
        config: Config | None = None,
        errors: _Errors = "nan",
    ) -> ValuationColumns:
        """Values a chain: row i is the option (strikes[i], expiries[i], option_types[i],
        exercise_styles[i]), priced as its own `valuation().compute()` would price it.

        Columns of equal length, or single values broadcast to every row. One valuation time for
        every row (None: the clock, read once). A failing row reads NaN with its message in
        `error` (errors="nan"), or raises as the single call would (errors="raise"). The
        interpreter lock is released while the rows are priced.
        """
    @staticmethod
    def implied_vol_many(
        strikes: _RealColumn,
        expiries: _DateTimeColumn,
        option_types: _OptionTypeColumn,
        exercise_styles: _ExerciseStyleColumn,
        prices: _RealColumn,
        market: OptionMarketFrame,
        valuation_time: datetime | None = None,
        config: Config | None = None,
        errors: _Errors = "nan",
    ) -> ImpliedVolColumns:
        """The implied volatility of every row at its target price in `prices`, as
        `implied_vol().price(p).calculate()` finds it; columns and errors as in `value_many`."""

class ValuationColumns(TypedDict):
    """What `VanillaOption.value_many` returns: one entry per row in every column.

    Not a module attribute at run time: a plain dict. `pandas.DataFrame(columns)` makes a table.
    """

    price: array[float]
    delta: array[float]
    gamma: array[float]
    theta: array[float]
    vega: array[float]
    """NaN where the row was priced by finite differences, or failed."""
    rho: array[float]
    """NaN where the row was priced by finite differences, or failed."""
    error: list[str | None]
    """None where the row was priced; the failure's message where it was not."""

class ImpliedVolColumns(TypedDict):
    """What `VanillaOption.implied_vol_many` returns; not a module attribute at run time."""

    vol: array[float]
    error: list[str | None]

# Finite-difference settings

@final
class TransformConfig:
    """The coordinate in which the finite-difference grid is uniform."""

    @staticmethod
    def log() -> TransformConfig: ...
    @staticmethod
    def sinh(alpha: _Real) -> TransformConfig:
        """Nodes concentrated around the strike; smaller `alpha` concentrates more."""

@final
class FdmConfig:
    """Finite-difference settings; None takes the default.

    Defaults: 10 time steps, 101 grid nodes (a count is made odd by setting its lowest bit),
    4.0 standard deviations each side of the strike, `TransformConfig.sinh(0.3)`.
    """

    def __new__(
        cls,
        time_steps: _Integer | None = None,
        grid_nodes: _Integer | None = None,
        grid_std_devs: _Real | None = None,
        transform: TransformConfig | None = None,
    ) -> Self: ...

# Execution

@final
class InstrumentPolicy:
    """A routing rule: exercise styles and option types (none: all) to a pricing method."""

    def __new__(cls) -> Self: ...
    def american(self) -> Self: ...
    def european(self) -> Self: ...
    def put(self) -> Self: ...
    def call(self) -> Self: ...
    def analytic(self) -> Self: ...
    def fdm(self, fdm_config: FdmConfig | None = None) -> Self: ...
    def fixed_point(
        self,
        collocation_nodes: _Integer | None = None,
        collocation_nodes_off_strike: _Integer | None = None,
        iterations: _Integer | None = None,
        step_tolerance: _Real | None = None,
        first_iteration_quadrature_nodes: _Integer | None = None,
        boundary_quadrature_nodes: _Integer | None = None,
        premium_quadrature_nodes: _Integer | None = None,
    ) -> Self:
        """American options by the fixed-point iteration on the exercise boundary; None keeps a
        setting's default. Settings out of range raise ValueError here."""

@final
class Config:
    """Routing of (exercise style, option type) to a pricing method.

    Initially European options are priced in closed form and American options on the
    finite-difference grid with the default settings.
    """

    def __new__(cls) -> Self: ...
    def add_policy(self, policy: InstrumentPolicy) -> Self:
        """Overwrites the cells the policy matches with its method."""

@final
class Greeks:
    """Sensitivities: theta per year, vega per 1.0 of volatility, rho per 1.0 of rate."""

    @property
    def delta(self) -> float: ...
    @property
    def gamma(self) -> float: ...
    @property
    def theta(self) -> float: ...
    @property
    def vega(self) -> float | None:
        """None when the option was priced by finite differences."""
    @property
    def rho(self) -> float | None:
        """None when the option was priced by finite differences."""

@final
class OptionResult:
    """Price and Greeks of one valuation."""

    @property
    def price(self) -> float: ...
    @property
    def greeks(self) -> Greeks:
        """A new `Greeks` object on every read."""
    def __repr__(self) -> str: ...

@final
class ValuationBuilder:
    """A valuation request; keeps references to the market frame and the config."""

    def __new__(cls, instrument: VanillaOption) -> Self: ...
    def market(self, market_frame: OptionMarketFrame) -> Self: ...
    def at(self, valuation_time: datetime | None = None) -> Self:
        """Valuation time (timezone-aware); None: the clock at each `compute()`."""
    def config(self, config: Config | None = None) -> Self: ...
    def compute(self) -> OptionResult: ...

@final
class ImpliedVolBuilder:
    """An implied-volatility request; not a module attribute at run time."""

    def __new__(cls, instrument: VanillaOption) -> Self: ...
    def price(self, target: _Real) -> Self: ...
    def market(self, market_frame: OptionMarketFrame) -> Self: ...
    def at(self, valuation_time: datetime | None = None) -> Self: ...
    def config(self, config: Config | None = None) -> Self: ...
    def calculate(self) -> float:
        """The volatility in [0.1, 5.0] whose price matches the target (Brent's method)."""
