#include "core/number_format.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace vyr {
namespace {

TEST(FormatShortest, PositionalWithoutExponent) {
  const std::string zeros_299(299, '0');
  const std::string zeros_323(323, '0');
  const struct {
    double value;
    std::string text;
  } cases[] = {
      {1e-4, "0.0001"},
      {1e-7, "0.0000001"},
      {1e20, "100000000000000000000"},
      {1e16, "10000000000000000"},
      {5.0, "5"},
      {-5.0, "-5"},
      {0.0, "0"},
      {-0.0, "-0"},
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {123.456, "123.456"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1.2345678901234568e20, "123456789012345680000"},
      {1.5e300, "15" + zeros_299},
      {5e-324, "0." + zeros_323 + "5"},
      {-1.25e-5, "-0.0000125"},
      {DBL_MAX, "17976931348623157" + std::string(292, '0')},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_shortest(c.value), c.text);
  }
}

TEST(FormatShortest, ReadsBackAsTheSameDouble) {
  std::mt19937_64 generator(7);
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t pattern = bits(generator);
    double value;
    static_assert(sizeof value == sizeof pattern);
    std::memcpy(&value, &pattern, sizeof value);
    if (!std::isfinite(value)) {
      continue;
    }
    const std::string text = format_shortest(value);
    ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(FormatFixed, RoundsTheExactValue) {
  const struct {
    double value;
    int digits;
    std::string text;
  } cases[] = {
      {2.5, 4, "2.5000"},
      {1.23456, 4, "1.2346"},
      {0.125, 2, "0.12"},
      {0.375, 2, "0.38"},
      {1.005, 2, "1.00"},
      {2.5, 0, "2"},
      {-1.5, 0, "-2"},
      {-0.0, 4, "-0.0000"},
      {123456.789, 1, "123456.8"},
      {std::numeric_limits<double>::quiet_NaN(), 4, "NaN"},
      {INFINITY, 4, "inf"},
      {-INFINITY, 4, "-inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_fixed(c.value, c.digits), c.text) << c.value;
  }
}

TEST(FormatFixed, WritesTheLargestDoublesInFull) {
  const std::string text = format_fixed(1e308, 4);
  EXPECT_EQ(text.size(), 309u + 5u);
  EXPECT_EQ(text.substr(0, 22), "1000000000000000010979");
  EXPECT_EQ(text.substr(text.size() - 5), ".0000");
  EXPECT_EQ(format_fixed(-DBL_MAX, 0).size(), 310u);
}

}  // namespace
}  // namespace vyr
