// The system wall clock, read in UTC.
#pragma once

#include "core/instant.hpp"

namespace vyr {

// The current UTC instant at a resolution of 100 ns. A clock set before the Unix epoch is an
// internal invariant failure.
Instant now_utc();

}  // namespace vyr
