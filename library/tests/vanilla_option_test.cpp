#include "instruments/vanilla_option.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace vyr {
namespace {

Instant at(std::int64_t unix_seconds, std::uint32_t nanoseconds = 0) {
  return *Instant::from_unix(unix_seconds, nanoseconds);
}

TEST(VanillaOption, YearsToExpiryCountsWholeSecondsOverA365DayYear) {
  constexpr std::int64_t kExpiry = 1'735'689'600;  // 2025-01-01 00:00:00 UTC
  const VanillaOption option{100.0, at(kExpiry, 250'000'000), OptionType::Call,
                             ExerciseStyle::European};
  const struct {
    Instant valuation;
    double years;
  } cases[] = {
      {at(kExpiry - 31'536'000, 250'000'000), 1.0},
      {at(kExpiry - 366 * 86'400, 250'000'000), 366.0 / 365.0},  // across 2024-02-29
      {at(kExpiry, 250'000'000), 0.0},
      {at(kExpiry + 43'200, 250'000'000), -0.5 / 365.0},
      {at(kExpiry, 650'000'000), 0.0},      // 0.4 s after expiry
      {at(kExpiry - 1, 850'000'000), 0.0},  // 0.4 s before expiry
      {at(kExpiry - 2, 850'000'000), 1.0 / 31'536'000.0},
      {at(kExpiry + 1, 850'000'000), -1.0 / 31'536'000.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(option.years_to_expiry(c.valuation), c.years)
        << c.valuation.seconds_of_day() << " " << c.valuation.nanoseconds();
  }
}

}  // namespace
}  // namespace vyr
