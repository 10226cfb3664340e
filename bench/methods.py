"""Pricing methods of both libraries as rows of a benchmark, each set up once per case.

A method prepares, for one case, a `Priced`: `call` is what is timed (vyr: `builder.compute`,
QuantLib: `option.recalculate` with the engine attached) and `value()` returns the price. Adding
a method to a benchmark is adding one `Method` to its list.
"""

from dataclasses import dataclass
from typing import Callable

import QuantLib as ql

import quantlib_setup as qls
import vyr_setup


@dataclass(frozen=True)
class Priced:
    call: Callable[[], object]
    value: Callable[[], float]


@dataclass(frozen=True)
class Method:
    label: str
    library: str  # "vyr" or "QuantLib"
    series: str  # the points a plot joins into one line
    prepare: Callable[[object], Priced]


def _vyr(config_factory):
    def prepare(case):
        builder = vyr_setup.builder(case, config_factory())
        return Priced(builder.compute, lambda: builder.compute().price)
    return prepare


def _quantlib(engine_factory):
    def prepare(case):
        setup = qls.setup(case)
        setup.option.setPricingEngine(engine_factory(setup.process))
        return Priced(setup.option.recalculate, setup.option.NPV)
    return prepare


def vyr_grid(nodes, steps):
    return Method(f"vyr grid {nodes}x{steps}", "vyr", "vyr grid",
                  _vyr(lambda: vyr_setup.grid_config(nodes, steps)))


def vyr_fixed_point(label="vyr fixed point", **settings):
    """The fixed-point method with these settings, or None when the module has none."""
    if not vyr_setup.has_fixed_point():
        return None
    return Method(label, "vyr", "vyr fixed point",
                  _vyr(lambda: vyr_setup.fixed_point_config(**settings)))


def quantlib_grid(steps, nodes):
    """QuantLib's finite-difference engine at its defaults but for the grid."""
    return Method(f"QuantLib FD {nodes}x{steps}", "QuantLib", "QuantLib FD",
                  _quantlib(lambda process: ql.FdBlackScholesVanillaEngine(process, steps, nodes)))


def quantlib_fixed_point(scheme):
    return Method(f"QuantLib QdFp {scheme}", "QuantLib", "QuantLib QdFp",
                  _quantlib(lambda process: qls.fixed_point_engine(process, scheme)))


def available(methods):
    return [m for m in methods if m is not None]
