#include "core/number_format.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#include "core/error.hpp"

namespace vyr {
namespace {

// The text of a NaN or an infinity; nullptr for a finite value.
const char* special_text(double value) {
  if (std::isnan(value)) {
    return "NaN";
  }
  if (std::isinf(value)) {
    return value > 0.0 ? "inf" : "-inf";
  }
  return nullptr;
}

}  // namespace

std::string format_shortest(double value) {
  if (const char* special = special_text(value)) {
    return special;
  }
  // The shortest round-trip digits in scientific form, "-d.ddde+XX" at most 24 characters.
  char buffer[32];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  (void)error;
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));

  const std::size_t exponent_at = text.find('e');
  const std::string_view mantissa = text.substr(0, exponent_at);
  std::string_view exponent_text = text.substr(exponent_at + 1);
  if (exponent_text.front() == '+') {
    exponent_text.remove_prefix(1);
  }
  int exponent = 0;
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

  std::string result;
  std::string digits;
  for (const char c : mantissa) {
    if (c == '-') {
      result.push_back('-');
    } else if (c != '.') {
      digits.push_back(c);
    }
  }

  // The digits are d1.d2d3... x 10^exponent: `integer_digits` of them stand before the point.
  const long integer_digits = static_cast<long>(exponent) + 1;
  const long count = static_cast<long>(digits.size());
  if (integer_digits <= 0) {
    result += "0.";
    result.append(static_cast<std::size_t>(-integer_digits), '0');
    result += digits;
  } else if (integer_digits >= count) {
    result += digits;
    result.append(static_cast<std::size_t>(integer_digits - count), '0');
  } else {
    result.append(digits, 0, static_cast<std::size_t>(integer_digits));
    result.push_back('.');
    result.append(digits, static_cast<std::size_t>(integer_digits), std::string::npos);
  }
  return result;
}

std::string format_fixed(double value, int digits) {
  if (const char* special = special_text(value)) {
    return special;
  }
  const int precision = digits < 0 ? 0 : digits;
  // Room for a sign, the 309 integer digits of the largest doubles, the point and the decimals.
  std::string result(static_cast<std::size_t>(precision) + 320, '\0');
  const auto [end, error] = std::to_chars(result.data(), result.data() + result.size(), value,
                                          std::chars_format::fixed, precision);
  if (error != std::errc()) {
    panic("number formatting failed");
  }
  result.resize(static_cast<std::size_t>(end - result.data()));
  return result;
}

}  // namespace vyr
