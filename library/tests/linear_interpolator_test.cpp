#include "math/interpolate/linear.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vyr {
namespace {

LinearInterpolator make(std::vector<double> xs, std::vector<double> ys) {
  auto result = LinearInterpolator::create(std::move(xs), std::move(ys));
  EXPECT_TRUE(result);
  return std::move(result).value();
}

TEST(LinearInterpolator, InterpolatesAndExtendsTheEndSegments) {
  const LinearInterpolator curve = make({0.0, 1.0, 2.0}, {0.0, 10.0, 40.0});
  const struct {
    double x;
    double y;
  } cases[] = {
      {1.5, 25.0},
      {0.5, 5.0},
      {3.0, 70.0},
      {-1.0, -10.0},
      // On a node: the node's own value, from segment 0 at the first node and n − 2 at the last.
      {0.0, 0.0},
      {1.0, 10.0},
      {2.0, 40.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(curve.value(c.x), c.y) << c.x;
  }
  EXPECT_TRUE(std::isnan(curve.value(NAN)));
}

TEST(LinearInterpolator, EvaluatesSlopeThenProductThenSum) {
  // (x − x0)·((y1 − y0)/(x1 − x0)) + y0 rounds differently from the other groupings here.
  const LinearInterpolator curve = make({0.1, 0.7}, {0.3, 1.9});
  EXPECT_EQ(curve.value(0.495), 1.3533333333333333);
}

TEST(LinearInterpolator, ConstructionErrors) {
  const struct {
    std::vector<double> xs;
    std::vector<double> ys;
    InterpolationError error;
  } cases[] = {
      {{}, {}, InterpolationError::InsufficientPoints},
      {{1.0}, {2.0}, InterpolationError::InsufficientPoints},
      {{0.0, 1.0, 1.0}, {0.0, 1.0, 2.0}, InterpolationError::NotMonotonic},
      {{0.0, 2.0, 1.0}, {0.0, 1.0, 2.0}, InterpolationError::NotMonotonic},
      {{1.0, 0.0}, {0.0, 1.0}, InterpolationError::NotMonotonic},
      {{0.0, NAN, 1.0}, {0.0, 1.0, 2.0}, InterpolationError::NotMonotonic},
      {{0.0, 1.0, 2.0}, {0.0, 1.0}, InterpolationError::LengthMismatch},
      // Lengths are compared before the node count.
      {{1.0}, {}, InterpolationError::LengthMismatch},
  };
  for (const auto& c : cases) {
    const auto result = LinearInterpolator::create(c.xs, c.ys);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), c.error) << debug_text(result.error());
  }
}

TEST(LinearInterpolator, CopiesShareTheNodes) {
  const LinearInterpolator original = make({0.0, 1.0}, {2.0, 4.0});
  const LinearInterpolator copy = original;
  EXPECT_EQ(copy.xs().data(), original.xs().data());
  EXPECT_EQ(copy.ys().data(), original.ys().data());
  EXPECT_EQ(copy.value(0.25), 2.5);
}

}  // namespace
}  // namespace vyr
