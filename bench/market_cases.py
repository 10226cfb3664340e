"""The option cases the comparison prices, in terms both libraries set up identically.

Every case starts on the same valuation day at 00:00 UTC and expires a whole number of days
later, so both libraries see the same year fraction (days / 365 under Actual/365 Fixed) and the
same continuously compounded r and yield q.
"""

import itertools
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

    def label(self):
        kind = ("American " if self.is_american else "European ") + ("call" if self.is_call else "put")
        return (f"{kind} S={self.spot:g} K={self.strike:g} T={self.days}d r={self.r:.0%} "
                f"q={self.q:.0%} vol={self.sigma:.0%}")


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
