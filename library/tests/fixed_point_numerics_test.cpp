// The numerical pieces of the fixed-point pricer: quadrature rules, Chebyshev interpolation, the
// vectorisable exponential and normal distribution, and the small linear solver.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "methods/fixed_point/chebyshev_interpolation.hpp"
#include "methods/fixed_point/gauss_legendre.hpp"
#include "methods/fixed_point/linear_system.hpp"
#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/time_integration.hpp"

namespace vyr::fixed_point {
namespace {

class GaussLegendreRule : public ::testing::TestWithParam<std::size_t> {};

TEST_P(GaussLegendreRule, IntegratesEveryMonomialUpToDegree2nMinus1) {
  const std::size_t n = GetParam();
  std::vector<double> x(n), w(n);
  gauss_legendre(n, x, w);
  for (std::size_t i = 1; i < n; ++i) {
    EXPECT_LT(x[i - 1], x[i]);
  }
  for (std::size_t degree = 0; degree < 2 * n; ++degree) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      sum += w[i] * std::pow(x[i], static_cast<double>(degree));
    }
    const double exact = degree % 2 == 1 ? 0.0 : 2.0 / static_cast<double>(degree + 1);
    EXPECT_NEAR(sum, exact, 1e-14) << "n = " << n << ", degree " << degree;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, GaussLegendreRule, ::testing::Values(1, 2, 3, 4, 7, 10, 24));

TEST(GaussLegendreRule, IsNotExactOneDegreeHigher) {
  for (std::size_t n : {1, 2, 3, 4, 7}) {
    std::vector<double> x(n), w(n);
    gauss_legendre(n, x, w);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      sum += w[i] * std::pow(x[i], static_cast<double>(2 * n));
    }
    EXPECT_GT(std::fabs(sum - 2.0 / static_cast<double>(2 * n + 1)), 1e-6) << n;
  }
}

TEST(GaussLegendreRule, LargeRulesStayAccurate) {
  // Weights sum to 2, and ∫ cos(x) = 2 sin 1, for every size the settings allow.
  for (std::size_t n : {32, 64, 96, 128}) {
    std::vector<double> x(n), w(n);
    gauss_legendre(n, x, w);
    double weights = 0.0;
    double cosine = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      weights += w[i];
      cosine += w[i] * std::cos(x[i]);
      EXPECT_EQ(x[i], -x[n - 1 - i]);
    }
    EXPECT_NEAR(weights, 2.0, 1e-13) << n;
    EXPECT_NEAR(cosine, 2.0 * std::sin(1.0), 1e-13) << n;
  }
}

// ∫₀^τ u^m du and ∫₀^τ u^m/√(τ − u) du in the angle rules, against their closed forms.
double plain_integral(const TimeIntegrationRule& rule, double tau, double m) {
  double sum = 0.0;
  for (std::size_t k = 0; k < rule.padded_size; ++k) {
    const double u = tau * rule.cos[k] * rule.cos[k];
    sum += 2.0 * tau * rule.plain_weight[k] * std::pow(u, m);
  }
  return sum;
}

double root_integral(const TimeIntegrationRule& rule, double tau, double m) {
  double sum = 0.0;
  for (std::size_t k = 0; k < rule.padded_size; ++k) {
    const double u = tau * rule.cos[k] * rule.cos[k];
    sum += 2.0 * std::sqrt(tau) * rule.root_weight[k] * std::pow(u, m);
  }
  return sum;
}

TEST(TimeIntegrationRule, BothMapsIntegratePowersAndTheSquareRootSingularity) {
  const double tau = 1.7;
  for (const bool premium : {false, true}) {
    const TimeIntegrationRule& rule = premium ? premium_rule(24) : boundary_rule(12);
    EXPECT_EQ(rule.padded_size % 4, 0u);
    for (const double m : {0.0, 1.0, 2.5, 0.5}) {
      EXPECT_NEAR(plain_integral(rule, tau, m), std::pow(tau, m + 1.0) / (m + 1.0), 1e-10)
          << premium << " " << m;
      // ∫₀^τ u^m (τ − u)^{−1/2} du = τ^{m+1/2}·B(m + 1, 1/2).
      const double beta = std::tgamma(m + 1.0) * std::sqrt(std::numbers::pi) / std::tgamma(m + 1.5);
      EXPECT_NEAR(root_integral(rule, tau, m), std::pow(tau, m + 0.5) * beta, 1e-10)
          << premium << " " << m;
    }
  }
}

TEST(TimeIntegrationRule, PaddingRepeatsTheLastNodeWithoutWeight) {
  const TimeIntegrationRule& rule = boundary_rule(10);
  ASSERT_EQ(rule.size, 10u);
  ASSERT_EQ(rule.padded_size, 12u);
  for (std::size_t k = rule.size; k < rule.padded_size; ++k) {
    EXPECT_EQ(rule.weight[k], 0.0);
    EXPECT_EQ(rule.root_weight[k], 0.0);
    EXPECT_EQ(rule.sin[k], rule.sin[rule.size - 1]);
  }
  // The same rule object on every call.
  EXPECT_EQ(&boundary_rule(10), &rule);
}

class ChebyshevDegree : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ChebyshevDegree, ReproducesPolynomialsOfItsDegree) {
  const std::size_t n = GetParam();
  const ChebyshevInterpolation& chebyshev = ChebyshevInterpolation::of_degree(n);
  EXPECT_EQ(chebyshev.node(0), -1.0);
  EXPECT_EQ(chebyshev.node(n), 1.0);
  // p(z) = Σ_i (i + 1)·(−0.7)^i·z^i, degree n.
  const auto p = [n](double z) {
    double sum = 0.0;
    for (std::size_t i = 0; i <= n; ++i) {
      sum += static_cast<double>(i + 1) * std::pow(-0.7, static_cast<double>(i)) *
             std::pow(z, static_cast<double>(i));
    }
    return sum;
  };
  std::vector<double> values(n + 1), coefficients(n + 1);
  for (std::size_t j = 0; j <= n; ++j) {
    values[j] = p(chebyshev.node(j));
  }
  chebyshev.coefficients(values.data(), coefficients.data());
  for (double z = -1.0; z <= 1.0; z += 0.0625) {
    EXPECT_NEAR(chebyshev_sum(coefficients.data(), n, z), p(z), 1e-12 * (1.0 + std::fabs(p(z))))
        << "degree " << n << " at " << z;
  }
  // Two or four points at once give the same values.
  const Lanes4 z{-0.9, -0.1, 0.3, 0.95};
  const Lanes4 four = chebyshev_sum(coefficients.data(), n, z);
  const Lanes2 two = chebyshev_sum(coefficients.data(), n, Lanes2{z[2], z[3]});
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(four[i], chebyshev_sum(coefficients.data(), n, z[i]));
  }
  EXPECT_EQ(two[0], four[2]);
  EXPECT_EQ(two[1], four[3]);
}

INSTANTIATE_TEST_SUITE_P(Degrees, ChebyshevDegree, ::testing::Values(2, 3, 8, 12, 24, 48));

TEST(ChebyshevInterpolation, CoefficientsOfASingleChebyshevPolynomial) {
  // T_5 sampled at the nodes has the coefficient vector e_5, and the coefficient weights of a
  // node sum, over the nodes, to the coefficients of the constant 1.
  const std::size_t n = 8;
  const ChebyshevInterpolation& chebyshev = ChebyshevInterpolation::of_degree(n);
  std::vector<double> values(n + 1), coefficients(n + 1);
  for (std::size_t j = 0; j <= n; ++j) {
    values[j] = std::cos(5.0 * std::acos(chebyshev.node(j)));
  }
  chebyshev.coefficients(values.data(), coefficients.data());
  for (std::size_t k = 0; k <= n; ++k) {
    EXPECT_NEAR(coefficients[k], k == 5 ? 1.0 : 0.0, 1e-14) << k;
    double row = 0.0;
    for (std::size_t j = 0; j <= n; ++j) {
      row += chebyshev.coefficient_weight(k, j);
      EXPECT_EQ(chebyshev.node_column(j)[k], chebyshev.coefficient_weight(k, j));
    }
    EXPECT_NEAR(row, k == 0 ? 1.0 : 0.0, 1e-14) << k;
  }
}

TEST(FastExp, MatchesTheLibraryExponentialAndItsEdges) {
  double worst = 0.0;
  for (double x = -708.0; x <= 709.0; x += 0.173) {
    worst = std::max(worst, std::fabs(fast_exp(x) / std::exp(x) - 1.0));
  }
  EXPECT_LT(worst, 4.5e-16);
  EXPECT_EQ(fast_exp(0.0), 1.0);
  EXPECT_EQ(fast_exp(-1000.0), 0.0);
  EXPECT_EQ(fast_exp(-std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(fast_exp(1000.0), fast_exp(709.0));
  EXPECT_TRUE(std::isfinite(fast_exp(1000.0)));
  EXPECT_TRUE(std::isnan(fast_exp(std::nan(""))));
  const Lanes4 x{-800.0, -0.5, 0.25, 40.0};
  const Lanes4 four = fast_exp(x);
  const Lanes2 two = fast_exp(Lanes2{x[0], x[3]});
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(four[i], fast_exp(x[i]));
  }
  EXPECT_EQ(two[0], four[0]);
  EXPECT_EQ(two[1], four[3]);
}

TEST(NormalDistribution, CdfHasRelativeAccuracyInBothTails) {
  double worst = 0.0;
  for (double x = -37.0; x <= 8.0; x += 0.01) {
    const double exact = 0.5 * std::erfc(-x / std::numbers::sqrt2);
    worst = std::max(worst, std::fabs(normal_cdf_fast(x) / exact - 1.0));
  }
  EXPECT_LT(worst, 3e-13);  // the rounding of −x²/2 near x = −37 dominates
  for (double x = -8.0; x <= 8.0; x += 0.01) {
    EXPECT_NEAR(normal_cdf_fast(x) + normal_cdf_fast(-x), 1.0, 3e-16) << x;
    const double density = std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi);
    EXPECT_NEAR(normal_density(x), density, 4e-16 * density) << x;
  }
  EXPECT_EQ(normal_cdf_fast(-40.0), 0.0);
  EXPECT_EQ(normal_cdf_fast(40.0), 1.0);
  EXPECT_NEAR(mills_ratio(0.0), std::sqrt(std::numbers::pi / 2.0), 1e-16);
  // Beyond the fitted range the ratio keeps the asymptote 1/t − 1/t³.
  EXPECT_NEAR(mills_ratio(1e6) * 1e6, 1.0, 1e-11);
}

TEST(NormalDistribution, WeightedCdfKeepsTheWeight) {
  // e^{−qs}·Φ(x) from e^{−qs} and e^{−qs}·φ(x) in one exponential.
  for (const double x : {-6.0, -1.0, -0.1, 0.0, 0.3, 2.0, 7.0}) {
    const double weight = std::exp(-0.37);
    const double weighted = weighted_cdf(x, weight, weight * normal_density(x));
    EXPECT_NEAR(weighted, weight * 0.5 * std::erfc(-x / std::numbers::sqrt2), 3e-16) << x;
  }
}

TEST(LinearSystem, SolvesWithTheMatrixAndItsTransposeWithPivoting) {
  std::mt19937 generator(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (const std::size_t n : {2, 5, 8, 12, 31, 48}) {
    std::vector<double> a(n * n);
    for (double& v : a) {
      v = uniform(generator);
    }
    // A zero leading entry forces a row exchange.
    a[0] = 0.0;
    std::vector<double> x(n), b(n), bt(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = uniform(generator);
    }
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t k = 0; k < n; ++k) {
        b[i] += a[i * n + k] * x[k];
        bt[i] += a[k * n + i] * x[k];
      }
    }
    LinearSystem system;
    ASSERT_TRUE(system.factorise(a.data(), n)) << n;
    system.solve(b.data());
    system.solve_transposed(bt.data());
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_NEAR(b[i], x[i], 1e-10) << n;
      EXPECT_NEAR(bt[i], x[i], 1e-10) << n;
    }
  }
}

TEST(LinearSystem, ReportsASingularOrNonFiniteMatrix) {
  const double singular[4] = {1.0, 2.0, 2.0, 4.0};
  const double nan[4] = {1.0, std::nan(""), 0.0, 1.0};
  LinearSystem system;
  EXPECT_FALSE(system.factorise(singular, 2));
  EXPECT_FALSE(system.factorise(nan, 2));
}

}  // namespace
}  // namespace vyr::fixed_point
