#include "execution/root_finder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/error.hpp"

namespace vyr {
namespace {

template <typename F>
std::string value_error_of(F&& call) {
  try {
    call();
  } catch (const ValueError& error) {
    return error.what();
  }
  return "no error";
}

TEST(BrentRoot, ConvergesSuperlinearlyOnSmoothFunctions) {
  struct Case {
    const char* name;
    double (*f)(double);
    double root;
  };
  const std::vector<Case> cases = {
      {"square", [](double x) { return x * x - 2.0; }, std::sqrt(2.0)},
      {"cube", [](double x) { return x * x * x - 20.0; }, std::cbrt(20.0)},
      {"decreasing", [](double x) { return std::exp(-x) - 0.5; }, std::log(2.0)},
      {"near the top", [](double x) { return std::log(x / 4.9); }, 4.9},
  };
  for (const Case& c : cases) {
    int evaluations = 0;
    const auto counted = [&](double x) {
      ++evaluations;
      return c.f(x);
    };
    const double root = brent_root(counted, 0.1, 5.0, 1e-12, 100);
    EXPECT_NEAR(root, c.root, 1e-10) << c.name;
    // Bisection alone would need about 40 evaluations for this tolerance.
    EXPECT_LT(evaluations, 20) << c.name;
  }
}

TEST(BrentRoot, ReturnsABracketEndThatAlreadyMeetsTheTolerance) {
  // The low end is tested first.
  EXPECT_EQ(brent_root([](double x) { return x - 0.1 + 5e-5; }, 0.1, 5.0, 1e-4, 100), 0.1);
  EXPECT_EQ(brent_root([](double x) { return (x - 5.0) * 1e-5; }, 0.1, 5.0, 1e-4, 100), 0.1);
  EXPECT_EQ(brent_root([](double x) { return x - 5.0 - 5e-5; }, 0.1, 5.0, 1e-4, 100), 5.0);
}

TEST(BrentRoot, RefusesEndsWithoutASignChange) {
  EXPECT_EQ(value_error_of([] { brent_root([](double x) { return x + 1.0; }, 0.1, 5.0, 1e-4, 9); }),
            "Root is not bracketed. f(low) = 1.1, f(high) = 6. Target price might be out of "
            "bounds.");
  EXPECT_EQ(value_error_of([] { brent_root([](double) { return -2.5; }, 0.1, 5.0, 1e-4, 9); }),
            "Root is not bracketed. f(low) = -2.5, f(high) = -2.5. Target price might be out of "
            "bounds.");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(value_error_of([&] { brent_root([&](double) { return nan; }, 0.1, 5.0, 1e-4, 9); }),
            "Root is not bracketed. f(low) = NaN, f(high) = NaN. Target price might be out of "
            "bounds.");
  EXPECT_EQ(
      value_error_of(
          [&] { brent_root([&](double x) { return x < 1.0 ? -1.0 : nan; }, 0.1, 5.0, 1e-4, 9); }),
      "Root is not bracketed. f(low) = -1, f(high) = NaN. Target price might be out of bounds.");
}

TEST(BrentRoot, TinyValuesOfOppositeSignsAreBracketed) {
  // Their product underflows to zero, yet the signs differ.
  const double root = brent_root([](double x) { return (x - 1.0) * 1e-200; }, 0.1, 5.0, 0.0, 200);
  EXPECT_NEAR(root, 1.0, 1e-12);
}

TEST(BrentRoot, StopsAtTheIterationLimitWithoutTestingTheLastPoint) {
  const auto limit = [](std::uint64_t n) {
    return value_error_of([&] { brent_root([](double x) { return x - 1.0; }, 0.1, 5.0, 0.0, n); });
  };
  EXPECT_EQ(limit(0), "Brent's method failed to converge within max iterations");
  EXPECT_EQ(limit(1), "Brent's method failed to converge within max iterations");

  // The third evaluation (the first inside the loop) hits the root exactly: it counts only when
  // a further iteration is allowed to look at it.
  const auto hits_root_third = [](std::uint64_t n) {
    int calls = 0;
    return brent_root(
        [&](double x) {
          ++calls;
          return calls == 3 ? 0.0 : (calls == 1 ? -1.0 : 1.0) + 0.0 * x;
        },
        0.1, 5.0, 1e-4, n);
  };
  EXPECT_EQ(value_error_of([&] { hits_root_third(1); }),
            "Brent's method failed to converge within max iterations");
  EXPECT_EQ(hits_root_third(2), 2.55);
}

TEST(BisectionRoot, FindsTheTargetOfAnIncreasingPrice) {
  const auto price = [](double x) { return x * x; };
  const double root = bisection_root(price, 2.0, 0.1, 5.0, 1e-6, 100);
  EXPECT_LT(std::abs(root * root - 2.0), 1e-6);
  // With a zero tolerance it stops once the half-width is below 1e-8.
  EXPECT_NEAR(bisection_root(price, 2.0, 0.1, 5.0, 0.0, 100), std::sqrt(2.0), 2e-8);
  // The first midpoint is returned when it already meets the tolerance.
  EXPECT_EQ(bisection_root(price, 2.55 * 2.55, 0.1, 5.0, 1e-9, 1), 2.55);
}

TEST(BisectionRoot, RefusesTargetsOutsideTheEndPrices) {
  const auto price = [](double x) { return x; };
  EXPECT_EQ(value_error_of([&] { bisection_root(price, 0.05, 0.1, 5.0, 1e-4, 100); }),
            "Target price 0.05 is below value at min vol");
  EXPECT_EQ(value_error_of([&] { bisection_root(price, 5.5, 0.1, 5.0, 1e-4, 100); }),
            "Target price 5.5 is above value at max vol");
  EXPECT_EQ(value_error_of([&] {
              bisection_root(price, std::numeric_limits<double>::quiet_NaN(), 0.1, 5.0, 1e-4, 100);
            }),
            "Target price NaN is below value at min vol");
  EXPECT_EQ(value_error_of([&] { bisection_root(price, 2.0, 0.1, 5.0, 1e-12, 10); }),
            "Bisection failed to converge within max iterations");
  EXPECT_EQ(value_error_of([&] { bisection_root(price, 2.0, 0.1, 5.0, 1e-4, 0); }),
            "Bisection failed to converge within max iterations");
}

}  // namespace
}  // namespace vyr
