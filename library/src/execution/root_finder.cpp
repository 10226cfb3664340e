#include "execution/root_finder.hpp"

#include <string>

#include "core/error.hpp"
#include "core/number_format.hpp"

namespace vyr {

void fail_not_bracketed(double f_low, double f_high) {
  throw ValueError("Root is not bracketed. f(low) = " + format_shortest(f_low) + ", f(high) = " +
                   format_shortest(f_high) + ". Target price might be out of bounds.");
}

void fail_brent_iterations() {
  throw ValueError("Brent's method failed to converge within max iterations");
}

void fail_target_below(double target) {
  throw ValueError("Target price " + format_shortest(target) + " is below value at min vol");
}

void fail_target_above(double target) {
  throw ValueError("Target price " + format_shortest(target) + " is above value at max vol");
}

void fail_bisection_iterations() {
  throw ValueError("Bisection failed to converge within max iterations");
}

}  // namespace vyr
