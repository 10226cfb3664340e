import itertools

import market_cases


def test_the_portfolio_is_every_combination_once():
    cases = market_cases.american_portfolio()
    keys = {(c.spot, c.days, c.r, c.q, c.sigma) for c in cases}
    assert len(cases) == len(keys) == 1458
    assert all(c.is_american and not c.is_call and c.strike == 100.0 for c in cases)


def test_the_sweep_is_reproducible_in_range_and_holds_every_corner():
    cases = market_cases.bounds_sweep()
    assert cases == market_cases.bounds_sweep() and 3000 <= len(cases) <= 4000
    for c in cases:
        assert 0.0 <= c.r <= 0.2 and 0.0 <= c.q <= 10.0 and 0.01 <= c.sigma <= 100.0
        assert 1 <= c.days <= 10950 and 20.0 <= c.spot <= 500.0 and c.days == int(c.days)
    keys = {(c.is_american, c.is_call, c.spot, c.days, c.r, c.q, c.sigma) for c in cases}
    for style, call in itertools.product((False, True), repeat=2):
        for corner in itertools.product((20.0, 500.0), (7, 10950), (0.0, 0.2), (0.0, 10.0),
                                        (0.01, 100.0)):
            assert (style, call) + corner in keys


def test_a_strided_subset_keeps_the_spread_of_the_inner_dimensions():
    quick = market_cases.every_nth(market_cases.american_portfolio(), 29)
    assert len(quick) == 51
    for pick in (lambda c: c.sigma, lambda c: c.q, lambda c: c.r, lambda c: c.spot):
        assert len({pick(c) for c in quick}) >= 3
