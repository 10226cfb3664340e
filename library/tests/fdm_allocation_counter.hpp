// Counts global operator new calls in the test binary. The replacement functions are weak, so a
// stronger replacement elsewhere wins; counting() then reports false and the tests that need the
// counter skip.
#pragma once

#include <cstdint>

namespace vyr::fdm_test {

// Allocations made through operator new since the start of the process.
std::uint64_t allocations();
// Whether allocations() actually observes operator new in this binary.
bool counting();

}  // namespace vyr::fdm_test
