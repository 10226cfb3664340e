"""Reference values, and how the truth of an American option is chosen.

European options: vyr's closed form. American options, in this order:

1. No early exercise (a put at r = 0, a call at q = 0, for r, q >= 0): the American value is the
   European one, so the closed form is exact.
2. Otherwise QuantLib's fixed-point engine with its high-precision scheme, when the value is
   finite, keeps the no-arbitrage bounds and a second reference agrees with it to within
   2.5e-4 relative or 2.5e-6 absolute (a quarter of the sweeps' tolerance). The second
   references are tried cheapest first: the same engine's accurate scheme (it shows that the
   iteration settled; it is the same method, so it is no independent check); the perpetual
   option's closed form (an upper bound of every finite expiry, reached when the expiry is long
   against the time the spot needs to leave the exercise region); the smoothed, extrapolated
   binomial tree of `binomial.py` at 4000 steps; QuantLib's finite-difference engine at
   2000 x 2000.
3. When none agrees, the high-precision value is still taken if it is finite and inside the
   bounds, since the others fail first in these regimes (trees and grids cannot resolve a yield
   of 1000 % or a volatility of 10000 %), but the truth is marked disputed and every reference
   is kept for the listing. When it is not, the first finite one of the tree and the grid is
   taken, also disputed, and when there is none the case has no truth.
"""

import dataclasses
import math
from dataclasses import dataclass, field

import numpy
import QuantLib as ql

import binomial
import bounds
import error_stats
import quantlib_setup as qls
import vyr_setup

AGREE_REL = 2.5e-4
AGREE_ABS = 2.5e-6
TREE_STEPS = 4000
GRID = (2000, 2000)  # QuantLib's time steps and nodes

CLOSED_FORM = "closed form"
HIGH_PRECISION = "QdFp high precision"
ACCURATE = "QdFp accurate"
PERPETUAL = "perpetual"
TREE = f"tree {TREE_STEPS}"
QUANTLIB_GRID = f"QuantLib FD {GRID[1]}x{GRID[0]}"


@dataclass
class Truth:
    value: float  # NaN when no reference can be used
    source: str
    checked_by: str = ""  # the second reference that agreed, if any
    disputed: bool = False  # no second reference agreed with the value taken
    others: dict = field(default_factory=dict)  # every reference computed, by name

    @property
    def regime(self):
        if self.checked_by:
            return f"{self.source}, confirmed by {self.checked_by}"
        return f"{self.source}, disputed" if self.disputed else self.source


def closed_form(case):
    """vyr's Black-Scholes value of the European option with the case's inputs."""
    european = dataclasses.replace(case, is_american=False)
    return vyr_setup.builder(european, vyr_setup.analytic_config()).compute().price


def quantlib_value(case, engine):
    """QuantLib's value of the case with engine(process), NaN when it fails."""
    try:
        setup = qls.setup(case)
        return qls.price(setup, engine(setup.process))
    except (RuntimeError, ValueError):
        return math.nan


def fixed_point(case, scheme="high precision"):
    return quantlib_value(case, lambda process: qls.fixed_point_engine(process, scheme))


def quantlib_grid(case, steps=GRID[0], nodes=GRID[1]):
    return quantlib_value(case, lambda process: ql.FdBlackScholesVanillaEngine(process, steps,
                                                                               nodes, 0))


def tree(case, steps=TREE_STEPS):
    """The drifted smoothed tree (valid however large |r - q| is), NaN when it fails."""
    try:
        with numpy.errstate(all="ignore"):
            value = binomial.american(case.spot, case.strike, case.r, case.q, case.sigma,
                                      case.years, case.is_call, steps, drift=True)
    except (ValueError, ZeroDivisionError, OverflowError):
        return math.nan
    return value if math.isfinite(value) else math.nan


def perpetual(case):
    """The perpetual American value (McKean): (K - S*)(S/S*)^β for a put and (S* - K)(S/S*)^β
    for a call, with β the root of ½σ²β(β - 1) + (r - q)β - r = 0 that is negative for a put
    and above 1 for a call, and S* = Kβ/(β - 1); NaN when the perpetual put has r = 0 or the
    perpetual call q = 0 (never exercised, no such root)."""
    r, q, strike, spot = case.r, case.q, case.strike, case.spot
    if (r if not case.is_call else q) <= 0.0:
        return math.nan
    a = 0.5 * case.sigma * case.sigma
    b = r - q - a
    root = math.sqrt(b * b + 4.0 * a * r)
    # The roots have product -r/a: the larger in size comes from the quadratic formula without
    # cancellation, the other from the product.
    if b >= 0.0:
        negative = (-b - root) / (2.0 * a)
        positive = -r / (a * negative)
    else:
        positive = (root - b) / (2.0 * a)
        negative = -r / (a * positive)
    beta = positive if case.is_call else negative
    boundary = strike * beta / (beta - 1.0)
    if case.is_call:
        if spot >= boundary:
            return spot - strike
        return (boundary - strike) * math.exp(beta * math.log(spot / boundary))
    if spot <= boundary:
        return strike - spot
    return (strike - boundary) * math.exp(beta * math.log(spot / boundary))


def no_early_exercise(case):
    return (case.r == 0.0) if not case.is_call else (case.q == 0.0)


def agree(a, b):
    return math.isfinite(a) and math.isfinite(b) and \
        error_stats.within(a, b, AGREE_REL, AGREE_ABS)


def american_truth(case):
    if no_early_exercise(case):
        return Truth(closed_form(case), CLOSED_FORM + " (no early exercise)")
    best = fixed_point(case, "high precision")
    usable = bounds.inside(case, best)
    others = {HIGH_PRECISION: best}
    for name, reference in ((ACCURATE, lambda c: fixed_point(c, "accurate")),
                            (PERPETUAL, perpetual), (TREE, tree), (QUANTLIB_GRID, quantlib_grid)):
        others[name] = reference(case)
        if usable and agree(best, others[name]):
            return Truth(best, HIGH_PRECISION, checked_by=name, others=others)
    if usable:
        return Truth(best, HIGH_PRECISION, disputed=True, others=others)
    for name in (TREE, QUANTLIB_GRID):
        if math.isfinite(others[name]):
            return Truth(others[name], name, disputed=True, others=others)
    return Truth(math.nan, "none", disputed=True, others=others)


def truth(case):
    return american_truth(case) if case.is_american else Truth(closed_form(case), CLOSED_FORM)
