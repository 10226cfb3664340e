#include "core/rate.hpp"

#include <cmath>

#include "core/error.hpp"

namespace vyr {

std::string Compounding::repr() const {
  switch (kind_) {
    case Kind::Simple:
      return "Compounding.Simple";
    case Kind::Compounded:
      return "Compounding.Compounded(" + std::string(frequency_name(frequency_)) + ")";
    case Kind::Continuous:
      return "Compounding.Continuous";
    case Kind::SimpleThenCompounded:
      return "Compounding.SimpleThenCompounded(" + std::string(frequency_name(frequency_)) + ")";
  }
  panic("invalid compounding");
}

// Each rule is evaluated in the order of its formula; no argument is validated, so a negative
// time, a negative rate or a base 1 + r/n <= 0 give whatever the arithmetic gives.
double Compounding::discount_factor(double rate, double t) const {
  switch (kind_) {
    case Kind::Simple:
      return 1.0 / (rate * t + 1.0);
    case Kind::Compounded: {
      const double n = static_cast<double>(periods_per_year(frequency_));
      return 1.0 / std::pow(rate / n + 1.0, t * n);
    }
    case Kind::Continuous:
      return std::exp(t * -rate);
    case Kind::SimpleThenCompounded:
      panic("not yet implemented: Implement other logic");
  }
  panic("invalid compounding");
}

}  // namespace vyr
