#include "math/interpolate/monotone_cubic.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "math/interpolate/linear.hpp"

namespace vyr {
namespace {

MonotoneCubicInterpolator make(std::vector<double> xs, std::vector<double> ys) {
  auto created = MonotoneCubicInterpolator::create(std::move(xs), std::move(ys));
  EXPECT_TRUE(created.has_value());
  return std::move(created).value();
}

TEST(MonotoneCubic, RejectsTooFewNodesAndUnequalLengths) {
  for (std::size_t n = 0; n <= 2; ++n) {
    const auto created =
        MonotoneCubicInterpolator::create(std::vector<double>(n, 0.0), std::vector<double>(n, 0.0));
    ASSERT_FALSE(created.has_value());
    EXPECT_EQ(created.error(), InterpolationError::InsufficientPoints);
  }
  const auto created = MonotoneCubicInterpolator::create({0, 1, 2}, {0, 1});
  ASSERT_FALSE(created.has_value());
  EXPECT_EQ(created.error(), InterpolationError::LengthMismatch);
}

TEST(MonotoneCubic, NodesSlopesAndCurvaturesAreReproducedAtTheNodes) {
  const std::vector<std::pair<std::vector<double>, std::vector<double>>> cases = {
      {{0, 1, 2}, {0, 1, 0}},
      {{1, 2, 3, 4, 5}, {1, 1.41421356, 1.7320508, 2, 2.236068}},
      {{-3, -1, 0.5, 0.7, 4, 9}, {5, -2, 3, 3.1, 0.2, 7}},
      {{0, 0.1, 0.3, 0.35, 1.2}, {100, 90, 60, 59.5, 1}},
  };
  for (const auto& [xs, ys] : cases) {
    const MonotoneCubicInterpolator f = make(xs, ys);
    for (std::size_t i = 0; i < xs.size(); ++i) {
      EXPECT_EQ(f.value(xs[i]), ys[i]) << i;
      EXPECT_DOUBLE_EQ(f.derivative(xs[i]), f.slopes()[i]) << i;
      EXPECT_EQ(f.second_derivative(xs[i]), f.second_derivatives()[i]) << i;
    }
  }
}

TEST(MonotoneCubic, CurvaturesSolveTheNaturalSplineSystem) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> width(0.05, 2.0);
  std::uniform_real_distribution<double> level(-10.0, 10.0);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<double> xs{0.0};
    std::vector<double> ys{level(rng)};
    for (int i = 1; i < 3 + trial; ++i) {
      xs.push_back(xs.back() + width(rng));
      ys.push_back(level(rng));
    }
    const MonotoneCubicInterpolator f = make(xs, ys);
    const auto m = f.second_derivatives();
    EXPECT_EQ(m.front(), 0.0);
    EXPECT_EQ(m.back(), 0.0);
    for (std::size_t i = 1; i + 1 < xs.size(); ++i) {
      const double h0 = xs[i] - xs[i - 1];
      const double h1 = xs[i + 1] - xs[i];
      const double rhs = 6.0 * ((ys[i + 1] - ys[i]) / h1 - (ys[i] - ys[i - 1]) / h0);
      const double lhs = h0 * m[i - 1] + 2.0 * (h0 + h1) * m[i] + h1 * m[i + 1];
      EXPECT_NEAR(lhs, rhs, 1e-9 * (1.0 + std::abs(rhs))) << trial << " " << i;
    }
  }
}

TEST(MonotoneCubic, SlopesAreSplineEndsAndInteriorSecantsWithinTheBound) {
  // Concave increasing data: no slope reaches the limiter's bound.
  const std::vector<double> xs{1, 2, 3, 4, 5};
  const std::vector<double> ys{1, 1.41421356, 1.7320508, 2, 2.236068};
  const MonotoneCubicInterpolator f = make(xs, ys);
  const auto d = f.slopes();
  const auto m = f.second_derivatives();
  EXPECT_DOUBLE_EQ(d[0], (ys[1] - ys[0]) - m[1] / 6.0);
  EXPECT_DOUBLE_EQ(d[4], (ys[4] - ys[3]) + m[3] / 6.0);
  for (std::size_t k = 1; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(d[k], (ys[k + 1] - ys[k - 1]) / 2.0) << k;
  }
}

TEST(MonotoneCubic, LimiterZeroesExtremaAndCapsSteepSlopes) {
  const MonotoneCubicInterpolator extrema = make({0, 1, 2, 3}, {0, 1, 0, 1});
  EXPECT_EQ(extrema.slopes()[1], 0.0);
  EXPECT_EQ(extrema.slopes()[2], 0.0);
  // The secant over nodes 0..2 is 5.05, far above three times the gentle left segment's 0.1.
  const MonotoneCubicInterpolator steep = make({0, 1, 2, 3}, {0, 0.1, 10.1, 20.1});
  EXPECT_DOUBLE_EQ(steep.slopes()[1], 0.3);
  const MonotoneCubicInterpolator falling = make({0, 1, 2, 3}, {0, -0.1, -10.1, -20.1});
  EXPECT_DOUBLE_EQ(falling.slopes()[1], -0.3);
}

TEST(MonotoneCubic, StraightLinesAreReproducedExactlyInsideAndOutside) {
  // Dyadic nodes and abscissae keep every operation exact.
  const std::vector<double> xs{-1, 0, 0.5, 1, 3, 4};
  const auto line = [](double x) { return 1.5 - 0.75 * x; };
  std::vector<double> ys;
  for (const double x : xs) {
    ys.push_back(line(x));
  }
  const MonotoneCubicInterpolator f = make(xs, ys);
  for (std::size_t i = 0; i < xs.size(); ++i) {
    EXPECT_EQ(f.slopes()[i], -0.75);
    EXPECT_EQ(f.second_derivatives()[i], 0.0);
  }
  for (double x = -4.0; x <= 8.0; x += 1.0 / 16.0) {
    EXPECT_EQ(f.value(x), line(x)) << x;
    EXPECT_EQ(f.derivative(x), -0.75) << x;
    EXPECT_EQ(f.second_derivative(x), 0.0) << x;
  }
}

TEST(MonotoneCubic, FlatSegmentStaysExactlyFlat) {
  const MonotoneCubicInterpolator f = make({0, 1, 2, 3}, {0, 1, 1, 2});
  EXPECT_EQ(f.slopes()[1], 0.0);
  EXPECT_EQ(f.slopes()[2], 0.0);
  for (int k = 0; k <= 1000; ++k) {
    const double x = 1.0 + k / 1000.0;
    EXPECT_EQ(f.value(x), 1.0) << x;
  }
}

TEST(MonotoneCubic, EndSlopeAgainstTheDataIsZeroed) {
  // The natural spline's slope at node 0 is about −2.5 although the data rise: kept with its sign
  // the first piece would dip below zero.
  for (const double sign : {1.0, -1.0}) {
    const MonotoneCubicInterpolator f = make({0, 1, 2}, {0, sign * 0.01, sign * 10});
    EXPECT_EQ(f.slopes()[0], 0.0);
    for (int k = 0; k <= 100; ++k) {
      EXPECT_GE(sign * f.value(k / 100.0), 0.0) << k;
      EXPECT_LE(sign * f.value(k / 100.0), 0.01) << k;
    }
    const MonotoneCubicInterpolator g = make({0, 1, 2}, {sign * -10, sign * -0.01, 0});
    EXPECT_EQ(g.slopes()[2], 0.0);
  }
}

TEST(MonotoneCubic, MonotoneDataNeverOvershoot) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> width(0.01, 3.0);
  std::exponential_distribution<double> rise(1.0);
  std::bernoulli_distribution flat(0.15);
  for (int trial = 0; trial < 200; ++trial) {
    const double direction = trial % 2 == 0 ? 1.0 : -1.0;
    std::vector<double> xs{width(rng)};
    std::vector<double> ys{rise(rng)};
    for (int i = 1; i < 3 + trial % 17; ++i) {
      xs.push_back(xs.back() + width(rng));
      ys.push_back(ys.back() + direction * (flat(rng) ? 0.0 : rise(rng) * rise(rng)));
    }
    const MonotoneCubicInterpolator f = make(xs, ys);
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
      const double lo = std::min(ys[i], ys[i + 1]);
      const double hi = std::max(ys[i], ys[i + 1]);
      const double slack = 1e-12 * (1.0 + std::abs(hi));
      for (int k = 0; k <= 50; ++k) {
        const double x = xs[i] + (xs[i + 1] - xs[i]) * (k / 50.0);
        const double y = f.value(x);
        EXPECT_GE(y, lo - slack) << trial << " segment " << i << " x " << x;
        EXPECT_LE(y, hi + slack) << trial << " segment " << i << " x " << x;
        const double secant = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
        EXPECT_GE(direction * f.derivative(x), -1e-9 * (1.0 + std::abs(secant)))
            << trial << " segment " << i;
      }
    }
  }
}

TEST(MonotoneCubic, DerivativesMatchTheEvaluatedCubicAndExtrapolate) {
  const MonotoneCubicInterpolator f = make({-3, -1, 0.5, 0.7, 4, 9}, {5, -2, 3, 3.1, 0.2, 7});
  for (double x = -5.0; x <= 11.0; x += 0.37) {
    const double h = 1e-5;
    const double fd = (f.value(x + h) - f.value(x - h)) / (2 * h);
    EXPECT_NEAR(f.derivative(x), fd, 1e-6 * (1.0 + std::abs(fd))) << x;
  }
  // The curvature is interpolated linearly between nodes and extended linearly beyond them.
  const auto m = f.second_derivatives();
  EXPECT_DOUBLE_EQ(f.second_derivative(-0.25), 0.5 * (m[1] + m[2]));
  EXPECT_DOUBLE_EQ(f.second_derivative(-5.0), -m[1]);
  EXPECT_DOUBLE_EQ(f.second_derivative(14.0), -m[4]);
  EXPECT_TRUE(std::isnan(f.value(std::nan(""))));
}

TEST(MonotoneCubic, CopiesShareTheirNodeArrays) {
  const MonotoneCubicInterpolator f = make({0, 1, 2}, {0, 1, 4});
  const MonotoneCubicInterpolator g = f;
  EXPECT_EQ(g.xs().data(), f.xs().data());
  EXPECT_EQ(g.ys().data(), f.ys().data());
  EXPECT_EQ(g.slopes().data(), f.slopes().data());
  EXPECT_EQ(g.second_derivatives().data(), f.second_derivatives().data());
}

TEST(MonotoneCubic, ReadingsWithoutTheInterpolatorAreItsOwnToTheLastBit) {
  // An interior piece from its four nodes, and the natural spline's curvature at any point, equal
  // what the whole interpolator reads, on smooth, kinked and oscillating data.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> step(0.01, 0.3);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  for (int data = 0; data < 3; ++data) {
    std::vector<double> xs{0.0};
    for (int i = 1; i < 41; ++i) {
      xs.push_back(xs.back() + step(random));
    }
    std::vector<double> ys;
    for (const double x : xs) {
      ys.push_back(data == 0   ? std::exp(0.3 * x)
                   : data == 1 ? std::fmax(5.0 - x, 0.0)
                               : std::sin(3.0 * x) + 0.1 * noise(random));
    }
    const MonotoneCubicInterpolator spline = MonotoneCubicInterpolator::create(xs, ys).value();
    std::vector<double> scratch(2 * xs.size());
    for (double x = xs.front() - 0.5; x < xs.back() + 0.5; x += 0.0371) {
      EXPECT_EQ(natural_second_derivative(xs, ys, x, scratch), spline.second_derivative(x)) << x;
      const std::size_t j = locate_segment(xs, x);
      if (j >= 1 && j + 2 < xs.size()) {
        const MonotoneCubicPiece piece = interior_piece(xs, ys, j);
        EXPECT_EQ(piece.value(x), spline.value(x)) << x;
        EXPECT_EQ(piece.derivative(x), spline.derivative(x)) << x;
      }
    }
  }
}

}  // namespace
}  // namespace vyr
