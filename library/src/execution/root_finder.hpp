// One-dimensional root finders over a bracket: Brent's method on f, and bisection on an
// increasing price function against a target.
#pragma once

#include <cmath>
#include <cstdint>

namespace vyr {

// The ValueErrors of the root finders; numbers are written by format_shortest.
[[noreturn]] void fail_not_bracketed(double f_low, double f_high);
[[noreturn]] void fail_brent_iterations();
[[noreturn]] void fail_target_below(double target);
[[noreturn]] void fail_target_above(double target);
[[noreturn]] void fail_bisection_iterations();

// True when one value is positive and the other negative. Unlike a test of the product, this
// neither underflows for tiny values nor lets a NaN through.
inline bool opposite_signs(double x, double y) {
  return (x > 0.0 && y < 0.0) || (x < 0.0 && y > 0.0);
}

// Brent's method for f over [low, high]: returns an end whose |f| is below `tolerance`, else
// searches with inverse quadratic interpolation, secant steps and bisection, keeping a
// contrapoint w such that f changes sign between b and w. Gives up after `max_iterations`
// evaluations inside the loop; the last one is not tested.
template <typename F>
double brent_root(F&& f, double low, double high, double tolerance, std::uint64_t max_iterations) {
  double a = low;
  double b = high;
  double fa = f(a);
  double fb = f(b);
  if (tolerance > std::abs(fa)) {
    return low;
  }
  if (tolerance > std::abs(fb)) {
    return high;
  }
  if (!opposite_signs(fa, fb)) {
    fail_not_bracketed(fa, fb);
  }
  if (max_iterations == 0) {
    fail_brent_iterations();
  }

  double w = a;
  double fw = fa;
  double d = b - a;
  double e = d;
  for (std::uint64_t i = 0;;) {
    // Keep b as the best estimate so far.
    if (std::abs(fb) > std::abs(fw)) {
      a = b;
      b = w;
      w = a;
      fa = fb;
      fb = fw;
      fw = fa;
    }
    if (tolerance > std::abs(fb)) {
      return b;
    }
    const double tol1 = 2e-15 * std::abs(b) + 0.5 * tolerance;
    const double xm = 0.5 * (w - b);
    if (tol1 >= std::abs(xm)) {
      return b;
    }

    if (std::abs(e) >= tol1 && std::abs(fa) > std::abs(fb)) {
      const double s = fb / fa;
      double p;
      double q;
      if (std::abs(a - w) < 1e-15) {
        // Secant step.
        p = 2.0 * xm * s;
        q = 1.0 - s;
      } else {
        // Inverse quadratic interpolation through a, b and w.
        const double u = fa / fw;
        const double v = fb / fw;
        p = s * (2.0 * xm * u * (u - v) - (b - a) * (v - 1.0));
        q = (u - 1.0) * (v - 1.0) * (s - 1.0);
      }
      if (p > 0.0) {
        q = -q;
      }
      p = std::abs(p);
      const double min1 = 3.0 * xm * q - std::abs(tol1 * q);
      const double min2 = std::abs(e * q);
      // fmin returns the other operand when one is NaN.
      if (std::fmin(min1, min2) > 2.0 * p) {
        e = d;
        d = p / q;
      } else {
        d = xm;
        e = xm;
      }
    } else {
      d = xm;
      e = xm;
    }

    a = b;
    fa = fb;
    if (std::abs(d) > tol1) {
      b += d;
    } else {
      b += xm > 0.0 ? tol1 : -tol1;
    }
    fb = f(b);
    if ((fb > 0.0 && fw > 0.0) || (fb < 0.0 && fw < 0.0)) {
      w = a;
      fw = fa;
      d = b - a;
      e = d;
    }
    ++i;
    if (i == max_iterations) {
      fail_brent_iterations();
    }
  }
}

// Bisection for the point where an increasing `price` meets `target` over [low, high]. The
// target must lie between the prices at the ends; a NaN target or end price counts as outside.
template <typename P>
double bisection_root(P&& price, double target, double low, double high, double tolerance,
                      std::uint64_t max_iterations) {
  const double price_low = price(low);
  const double price_high = price(high);
  if (!(price_low <= target)) {
    fail_target_below(target);
  }
  if (!(target <= price_high)) {
    fail_target_above(target);
  }
  double lo = low;
  double hi = high;
  for (std::uint64_t i = 0; i < max_iterations; ++i) {
    const double mid = (lo + hi) * 0.5;
    const double diff = price(mid) - target;
    if (tolerance > std::abs(diff) || (hi - lo) * 0.5 < 1e-8) {
      return mid;
    }
    if (diff > 0.0) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  fail_bisection_iterations();
}

}  // namespace vyr
