import inspect
import subprocess
import sys

import pytest

import vyr
from conftest import PanicException

REGISTRY = [
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

CONSTRUCTORS = {
    "InterestRate": "(rate, compounding, dcc)",
    "VanillaOption": "(strike, expiry_time, option_type, exercise_style)",
    "OptionMarketFrame": "(spot, rate_curve, vol_surface, dividends=None, borrow_curve=None)",
    "FdmConfig": "(time_steps=None, grid_nodes=None, grid_std_devs=None, transform=None)",
    "Config": "()",
    "ValuationBuilder": "(instrument)",
    "InstrumentPolicy": "()",
    "DividendSchedule": "(raw_divs)",
}


def test_registry_order_and_all():
    assert vyr.__all__ == REGISTRY
    module_classes = [name for name in vars(vyr) if isinstance(getattr(vyr, name), type)]
    assert module_classes == REGISTRY
    assert not hasattr(vyr, "ImpliedVolBuilder")
    assert not hasattr(vyr, "PanicException")


@pytest.mark.parametrize("name", REGISTRY)
def test_class_shape(name):
    cls = getattr(vyr, name)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})
    assert "__dict__" not in dir(cls)
    assert "__weakref__" not in dir(cls)
    assert cls.__eq__ is object.__eq__
    assert cls.__hash__ is object.__hash__


@pytest.mark.parametrize("name", sorted(set(REGISTRY) - set(CONSTRUCTORS)))
def test_classes_without_constructor(name):
    cls = getattr(vyr, name)
    with pytest.raises(TypeError, match=rf"^cannot create 'builtins\.{name}' instances$"):
        cls()
    assert cls.__doc__ is None


@pytest.mark.parametrize("name,signature", CONSTRUCTORS.items())
def test_constructor_text_signatures(name, signature):
    cls = getattr(vyr, name)
    # The class docstring is exactly the text signature, so no documentation text remains.
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == ""
    assert str(inspect.signature(cls)) == signature


@pytest.mark.parametrize(
    "function,signature",
    [
        (vyr.InterestRate.discount_factor, "($self, t)"),
        (vyr.Tenor.advance, "($self, from)"),
        (vyr.Tenor.days, "(n)"),
        (vyr.PeriodCalculator.year_fraction, "(start, end, convention)"),
        (vyr.RateCurve.interpolated, "(reference_date, tenors, rates)"),
        (vyr.VanillaOption.years_to_expiry, "($self, valuation_date=None)"),
        (vyr.ValuationBuilder.compute, "($self)"),
        (vyr.InstrumentPolicy.fdm, "($self, fdm_config=None)"),
        (vyr.InstrumentPolicy.fixed_point,
         "($self, collocation_nodes=None, collocation_nodes_off_strike=None, iterations=None, "
         "step_tolerance=None, first_iteration_quadrature_nodes=None, "
         "boundary_quadrature_nodes=None, premium_quadrature_nodes=None)"),
        (vyr.Compounding.simple, "()"),
    ],
)
def test_method_text_signatures(function, signature):
    assert function.__text_signature__ == signature
    assert function.__doc__ is None


def test_signatures_for_inspect():
    rate = vyr.InterestRate(0.05, vyr.Compounding.simple(), vyr.DayCountConvention.ACT_360)
    assert str(inspect.signature(rate.discount_factor)) == "(t)"
    assert str(inspect.signature(vyr.InterestRate.discount_factor)) == "(self, /, t)"
    assert str(inspect.signature(vyr.FdmConfig)) == (
        "(time_steps=None, grid_nodes=None, grid_std_devs=None, transform=None)")


def test_enumeration_values_are_single_objects():
    assert vyr.OptionType.Call is vyr.OptionType.Call
    assert repr(vyr.OptionType.Put) == "OptionType.Put"
    assert int(vyr.OptionType.Put) == 1
    assert int(vyr.ExerciseStyle.European) == 1
    assert repr(vyr.ExerciseStyle.American) == "ExerciseStyle.American"
    assert type(vyr.OptionType.Call) is vyr.OptionType


def test_panic_exception_is_a_base_exception():
    assert PanicException.__name__ == "PanicException"
    assert PanicException.__bases__ == (BaseException,)
    assert not issubclass(PanicException, Exception)


def test_second_initialisation_fails():
    code = (
        "import sys, importlib, vyr\n"
        "del sys.modules['vyr']\n"
        "try:\n"
        "    importlib.import_module('vyr')\n"
        "except ImportError as e:\n"
        "    print('ImportError', e)\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.startswith("ImportError vyr may be initialised only once")
