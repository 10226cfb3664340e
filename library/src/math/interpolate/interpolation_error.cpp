#include "math/interpolate/interpolation_error.hpp"

namespace vyr {

std::string_view debug_text(InterpolationError error) {
  switch (error) {
    case InterpolationError::LengthMismatch:
      return "LengthMismatch";
    case InterpolationError::InsufficientPoints:
      return "InsufficientPoints";
    case InterpolationError::NotMonotonic:
      return "NotMonotonic";
  }
  return "NotMonotonic";
}

}  // namespace vyr
