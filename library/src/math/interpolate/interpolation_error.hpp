// The construction error shared by the interpolators.
#pragma once

#include <cstdint>
#include <string_view>

namespace vyr {

enum class InterpolationError : std::uint8_t { LengthMismatch, InsufficientPoints, NotMonotonic };

// "LengthMismatch", "InsufficientPoints" or "NotMonotonic".
std::string_view debug_text(InterpolationError error);

}  // namespace vyr
