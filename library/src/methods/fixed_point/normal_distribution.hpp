// The exponential and the standard normal distribution as branch-free inline code, written once
// for a double and for vectors of two or four doubles (vector_lanes.hpp), so that the pricer's
// kernels evaluate them several at a time. Both are accurate to a few units in the last place
// over the range the pricer uses.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vyr::fixed_point {

// Two and four doubles operated on together (GCC and Clang vector extensions): the widths of
// SSE2 and NEON registers, and of AVX2.
using Lanes2 = double __attribute__((vector_size(16)));
using Lanes4 = double __attribute__((vector_size(32)));

// The unsigned integer of the same width as T (double, Lanes2 or Lanes4), and the
// reinterpretation between the two (memcpy, which compiles to nothing, rather than
// std::bit_cast, which the undefined-behaviour sanitizer of GCC 12 misreads on vector types).
template <class T>
using BitsOf = std::conditional_t<
    std::is_same_v<T, double>, std::uint64_t,
    std::conditional_t<std::is_same_v<T, Lanes2>, std::uint64_t __attribute__((vector_size(16))),
                       std::uint64_t __attribute__((vector_size(32)))>>;

template <class To, class From>
[[gnu::always_inline]] inline To reinterpret_bits(From from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

inline constexpr double kInvSqrt2Pi = 0.3989422804014327;  // 1/√(2π)

// e^x. Arguments below −708.3 (results below the smallest normal double) give 0, arguments above
// 709 the finite e^709 instead of e^x; the pricer never asks for either end. NaN gives NaN.
template <class T>
[[gnu::always_inline]] inline T fast_exp(T x) {
  constexpr double kLog2e = 1.4426950408889634;
  constexpr double kLn2High = 0.693147180369123816490;  // ln 2 with 20 trailing zero bits
  constexpr double kLn2Low = 1.90821492927058770002e-10;
  constexpr double kShifter = 6755399441055744.0;  // 1.5·2^52: adding it rounds to an integer
  constexpr double kLowest = -708.3;
  constexpr double kHighest = 709.0;
  const T zero{};
  const T floor = x < kLowest ? zero + kLowest : x;
  const T clamped = floor > kHighest ? zero + kHighest : floor;
  // x = k·ln 2 + f with |f| <= ln 2 / 2; the low bits of `shifted` hold k in two's complement.
  const T shifted = clamped * kLog2e + kShifter;
  const T k = shifted - kShifter;
  const T f = (clamped - k * kLn2High) - k * kLn2Low;
  // Chebyshev-economised polynomial for e^f on |f| <= ln 2 / 2, relative error below 5e-18.
  T p = zero + 2.5114870219497475323e-8;
  p = p * f + 2.7632640675430235707e-7;
  p = p * f + 2.7557224956110722939e-6;
  p = p * f + 2.4801485479216429363e-5;
  p = p * f + 1.9841269909219842196e-4;
  p = p * f + 1.388888895231804535e-3;
  p = p * f + 8.3333333333095256391e-3;
  p = p * f + 4.1666666666488081465e-2;
  p = p * f + 1.6666666666666702415e-1;
  p = p * f + 5.0000000000000183876e-1;
  p = p * f + 0.99999999999999999847;
  p = p * f + 0.99999999999999999693;
  // 2^k from its bit pattern: the exponent field is k + 1023.
  const BitsOf<T> bits = (reinterpret_bits<BitsOf<T>>(shifted) + 1023) << 52;
  const T result = p * reinterpret_bits<T>(bits);
  return x < kLowest ? zero : (x == x ? result : x);
}

// The Mills ratio Φ(−t)/φ(t) for t >= 0 (√(π/2) at 0, about 1/t for large t): a rational
// function of degrees 9 and 10 with positive coefficients, relative error below 2e-15 on [0, 40]
// and the right asymptote beyond.
template <class T>
[[gnu::always_inline]] inline T mills_ratio(T t) {
  const T zero{};
  T num = zero + 3.5343647974112115244e-6;
  num = num * t + 9.476462186949011336e-5;
  num = num * t + 1.2446187958338740325e-3;
  num = num * t + 1.0356911451747814429e-2;
  num = num * t + 5.9716236379557710053e-2;
  num = num * t + 2.4654993384089916796e-1;
  num = num * t + 7.2894519987703322948e-1;
  num = num * t + 1.4942411226363419839;
  num = num * t + 1.9459110352119774368;
  num = num * t + 1.2533141373155002273;
  T den = zero + 3.5343647974196191302e-6;
  den = den * t + 9.4764621867704292392e-5;
  den = den * t + 1.2481531608020603255e-3;
  den = den * t + 1.0451676063814513834e-2;
  den = den * t + 6.095378682622539427e-2;
  den = den * t + 2.5671730537932985412e-1;
  den = den * t + 7.8620776816507029853e-1;
  den = den * t + 1.7210211597391035938;
  den = den * t + 2.5676571345203387171;
  den = den * t + 2.350496932494415754;
  den = den * t + 1.0;
  return num / den;
}

// w·Φ(x), given w and the matching density w·φ(x) (for example e^{−qs} and e^{−qs}·φ(x), with
// both factors inside one exponential). Φ is rebuilt from the density and the Mills ratio, so no
// second exponential is needed.
template <class T>
[[gnu::always_inline]] inline T weighted_cdf(T x, T weight, T weighted_density) {
  const T magnitude = x < 0.0 ? -x : x;
  const T tail = weighted_density * mills_ratio(magnitude);
  return x < 0.0 ? tail : weight - tail;
}

// φ(x) and Φ(x) on their own.
template <class T>
[[gnu::always_inline]] inline T normal_density(T x) {
  return kInvSqrt2Pi * fast_exp(-0.5 * x * x);
}
template <class T>
[[gnu::always_inline]] inline T normal_cdf_fast(T x) {
  return weighted_cdf(x, T{} + 1.0, normal_density(x));
}

}  // namespace vyr::fixed_point
