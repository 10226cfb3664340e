// Error values raised by the core. Every core failure is one of these three kinds; the Python
// binding maps each kind to its exception family in a single place.
#pragma once

#include <stdexcept>
#include <string>

namespace vyr {

// Invalid market or instrument data supplied by the caller.
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input of the wrong kind detected after argument conversion.
class TypeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An internal invariant failed or the requested case is not implemented.
class Panic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void panic(const std::string& message) { throw Panic(message); }

}  // namespace vyr
