// How doubles are written into messages and reprs.
#pragma once

#include <string>

namespace vyr {

// The shortest decimal that reads back as the same double, in positional notation without
// exponent: 0.0001, 0.0000001, 100000000000000000000; a whole number has no decimal point (5.0
// is "5", -0.0 is "-0"); "NaN", "inf" and "-inf" for the special values.
std::string format_shortest(double value);

// Fixed-point notation with exactly `digits` digits after the decimal point, rounded to
// nearest; "NaN", "inf" and "-inf" for the special values.
std::string format_fixed(double value, int digits);

}  // namespace vyr
