// Many options against one market: the row loop of a chain valuation or a chain of implied
// volatilities. Every row goes through the single-option entry points (value_option,
// implied_volatility) with the batch's one market, valuation instant and configuration, so each
// row's result or failure is the one a single call gives. A failing row is recorded and the loop
// goes on, or stops there; no exception of a row leaves the loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/instant.hpp"
#include "execution/pricing_config.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/market_frame.hpp"

namespace vyr {

// The option of each row, one column per field; all columns have the same length.
struct OptionColumns {
  std::span<const double> strikes;
  std::span<const Instant> expiries;
  std::span<const OptionType> option_types;
  std::span<const ExerciseStyle> exercise_styles;

  std::size_t size() const { return strikes.size(); }
  VanillaOption option(std::size_t row) const {
    return VanillaOption{strikes[row], expiries[row], option_types[row], exercise_styles[row]};
  }
};

// What is shared by every row of a batch.
struct BatchSetting {
  const MarketFrame& market;
  Instant valuation;
  const PricingConfig& config;
};

// The error families a row can fail with, as the single call would raise them.
enum class RowErrorKind : std::uint8_t { ValueError, TypeError, Panic, MemoryError };

struct RowError {
  std::size_t row;
  RowErrorKind kind;
  std::string message;
};

// Whether the loop goes on after a failing row, or stops at the first one.
enum class OnRowError : std::uint8_t { Continue, Stop };

// The output columns of a valuation, each as long as the input. A failed row reads NaN in every
// column; vega and rho read NaN where the method gives none (the finite-difference method).
struct ValuationColumns {
  std::span<double> price;
  std::span<double> delta;
  std::span<double> gamma;
  std::span<double> theta;
  std::span<double> vega;
  std::span<double> rho;
};

// Values every row; returns the failures in row order (with OnRowError::Stop, at most one).
// Throws only std::bad_alloc, when the failure record itself cannot grow, and std::length_error
// when the columns' lengths differ.
std::vector<RowError> value_options(const OptionColumns& options, const BatchSetting& setting,
                                    OnRowError on_error, const ValuationColumns& out);

// The implied volatility of every row at its target price; failed rows read NaN.
std::vector<RowError> implied_volatilities(const OptionColumns& options,
                                           std::span<const double> prices,
                                           const BatchSetting& setting, OnRowError on_error,
                                           std::span<double> vols);

}  // namespace vyr
