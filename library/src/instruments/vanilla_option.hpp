// The vanilla equity option: strike, expiry instant, call or put, American or European.
#pragma once

#include <cstdint>

#include "core/instant.hpp"

namespace vyr {

enum class OptionType : std::uint8_t { Call, Put };
enum class ExerciseStyle : std::uint8_t { American, European };

struct VanillaOption {
  double strike;
  Instant expiry;
  OptionType option_type;
  ExerciseStyle exercise_style;

  // Actual/365 Fixed year fraction from the valuation instant to expiry; negative after expiry.
  double years_to_expiry(const Instant& valuation) const;
};

}  // namespace vyr
