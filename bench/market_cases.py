"""The option cases the comparison prices, in terms both libraries set up identically.

Every case starts on the same valuation day at 00:00 UTC and expires a whole number of days
later, so both libraries see the same year fraction (days / 365 under Actual/365 Fixed) and the
same continuously compounded r and yield q.
"""

import itertools
import math
import random
from dataclasses import dataclass

STRIKE = 100.0
VALUATION_DAY = (2026, 1, 5)

# The realistic ranges of the American and European sweeps.
SPOTS = (80.0, 90.0, 100.0, 110.0, 120.0)
EXPIRY_DAYS = (7, 30, 91, 365, 1095)  # one week to three years
RATES = (0.0, 0.05, 0.10)
YIELDS = (0.0, 0.04, 0.08)
VOLS = (0.10, 0.30, 0.60)


@dataclass(frozen=True)
class Case:
    spot: float
    days: int
    r: float
    q: float
    sigma: float
    is_call: bool = False
    is_american: bool = True
    strike: float = STRIKE

    @property
    def years(self):
        return self.days / 365.0

    @property
    def kind(self):
        style = "American" if self.is_american else "European"
        return f"{style} {'call' if self.is_call else 'put'}"

    def label(self):
        return (f"{self.kind} S={self.spot:g} K={self.strike:g} T={self.days:g}d "
                f"r={_percent(self.r)} q={_percent(self.q)} vol={_percent(self.sigma)}")


def _percent(value):
    return f"{100.0 * value:.4g}%"


@dataclass(frozen=True)
class Dividend:
    days: int
    amount: float


def full_grid(is_american, types=("put",)):
    """Every combination of the ranges, for each option type asked for."""
    cases = []
    for kind, (spot, days, r, q, sigma) in itertools.product(
            types, itertools.product(SPOTS, EXPIRY_DAYS, RATES, YIELDS, VOLS)):
        cases.append(Case(spot, days, r, q, sigma, is_call=(kind == "call"),
                          is_american=is_american))
    return cases


def sample(cases, count, seed):
    """A reproducible subset (all of them when count is None or not smaller)."""
    if count is None or count >= len(cases):
        return list(cases)
    return random.Random(seed).sample(list(cases), count)


def american_puts(count):
    return sample(full_grid(True), count, seed=20260105)


def european_options(count):
    """Calls and puts in equal numbers; the full set alternates them over the parameter grid."""
    grid = full_grid(False)
    alternating = [Case(c.spot, c.days, c.r, c.q, c.sigma, is_call=(i % 2 == 0), is_american=False)
                   for i, c in enumerate(grid)]
    return sample(alternating, count, seed=20260106)


# The discrete-dividend case: a one-year American put with one cash dividend at six months.
DIVIDEND_CASE = Case(100.0, 365, 0.05, 0.0, 0.30)
DIVIDEND = Dividend(days=182, amount=3.0)


# The American portfolio: 1,458 puts at K = 100, every combination of these.
PORTFOLIO_SPOTS = (25.0, 50.0, 80.0, 90.0, 100.0, 110.0, 120.0, 150.0, 200.0)
PORTFOLIO_DAYS = (30, 91, 182, 365, 730, 1095)
PORTFOLIO_RATES = (0.02, 0.05, 0.08)
PORTFOLIO_YIELDS = (0.0, 0.04, 0.08)
PORTFOLIO_VOLS = (0.10, 0.25, 0.50)


def american_portfolio():
    return [Case(spot, days, r, q, sigma)
            for spot, days, r, q, sigma in itertools.product(
                PORTFOLIO_SPOTS, PORTFOLIO_DAYS, PORTFOLIO_RATES, PORTFOLIO_YIELDS, PORTFOLIO_VOLS)]


def every_nth(cases, n, offset=0):
    """A deterministic subset that keeps the spread of an ordered product grid when n is prime
    to the grid's inner dimensions."""
    return list(cases[offset::n])


# The bounds sweep: r in [0, 0.2], q in [0, 10], vol in [0.01, 100], T up to 30 years, spot from
# 0.2 K to 5 K, both types and both styles. A product of each range's two ends and one middle
# value holds every extreme corner; a seeded sample, log-uniform where the range spans decades,
# fills the inside.
SWEEP_RATES = (0.0, 0.05, 0.2)
SWEEP_YIELDS = (0.0, 0.05, 10.0)
SWEEP_VOLS = (0.01, 0.3, 100.0)
SWEEP_DAYS = (7, 365, 10950)
SWEEP_SPOTS = (20.0, 100.0, 500.0)
SWEEP_KINDS = tuple(itertools.product((False, True), (False, True)))  # (is_american, is_call)
SWEEP_SAMPLE_PER_KIND = 675
SWEEP_SEED = 20261208


def _log_uniform(rng, low, high, digits=3):
    value = math.exp(rng.uniform(math.log(low), math.log(high)))
    return float(f"{value:.{digits}g}")


def _sampled(rng, is_american, is_call):
    r = 0.0 if rng.random() < 0.15 else round(rng.uniform(0.0, 0.2), 4)
    q = 0.0 if rng.random() < 0.15 else _log_uniform(rng, 1e-3, 10.0)
    return Case(_log_uniform(rng, 20.0, 500.0, 4), int(round(_log_uniform(rng, 2.0, 10950.0, 6))),
                r, q, _log_uniform(rng, 0.01, 100.0), is_call=is_call, is_american=is_american)


def bounds_sweep():
    """About 3,700 cases: the corner product (972) and the seeded sample (2,700)."""
    corners = [Case(spot, days, r, q, sigma, is_call=is_call, is_american=is_american)
               for is_american, is_call in SWEEP_KINDS
               for spot, days, r, q, sigma in itertools.product(
                   SWEEP_SPOTS, SWEEP_DAYS, SWEEP_RATES, SWEEP_YIELDS, SWEEP_VOLS)]
    rng = random.Random(SWEEP_SEED)
    sampled = [_sampled(rng, is_american, is_call)
               for is_american, is_call in SWEEP_KINDS for _ in range(SWEEP_SAMPLE_PER_KIND)]
    return corners + sampled
