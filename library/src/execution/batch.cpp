#include "execution/batch.hpp"

#include <exception>
#include <limits>
#include <new>
#include <stdexcept>

#include "core/error.hpp"
#include "execution/implied_vol.hpp"
#include "execution/valuation.hpp"

namespace vyr {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The family and message of the exception being handled, sorted as the binding sorts an
// exception that leaves a single call. Called only inside a catch.
RowError current_failure(std::size_t row) {
  try {
    throw;
  } catch (const ValueError& error) {
    return RowError{row, RowErrorKind::ValueError, error.what()};
  } catch (const TypeError& error) {
    return RowError{row, RowErrorKind::TypeError, error.what()};
  } catch (const Panic& error) {
    return RowError{row, RowErrorKind::Panic, error.what()};
  } catch (const std::bad_alloc&) {
    return RowError{row, RowErrorKind::MemoryError, "out of memory"};
  } catch (const std::length_error&) {
    // A container asked for more elements than it can ever hold.
    return RowError{row, RowErrorKind::MemoryError, "out of memory"};
  } catch (const std::exception& error) {
    return RowError{row, RowErrorKind::Panic, error.what()};
  } catch (...) {
    return RowError{row, RowErrorKind::Panic, "unknown C++ exception"};
  }
}

void check_lengths(std::size_t rows, std::initializer_list<std::size_t> lengths) {
  for (const std::size_t length : lengths) {
    if (length != rows) {
      throw std::length_error("batch columns of different lengths");
    }
  }
}

void check_columns(const OptionColumns& options) {
  check_lengths(options.size(), {options.expiries.size(), options.option_types.size(),
                                 options.exercise_styles.size()});
}

// Runs `price_row` for every row; a row whose call throws is recorded and `fail_row` fills its
// outputs. The failure record is the only thing that allocates here.
template <typename PriceRow, typename FailRow>
std::vector<RowError> for_each_row(std::size_t rows, OnRowError on_error, PriceRow&& price_row,
                                   FailRow&& fail_row) {
  std::vector<RowError> failures;
  for (std::size_t row = 0; row < rows; ++row) {
    try {
      price_row(row);
      continue;
    } catch (...) {
      failures.push_back(current_failure(row));
    }
    fail_row(row);
    if (on_error == OnRowError::Stop) {
      break;
    }
  }
  return failures;
}

}  // namespace

std::vector<RowError> value_options(const OptionColumns& options, const BatchSetting& setting,
                                    OnRowError on_error, const ValuationColumns& out) {
  check_columns(options);
  const std::size_t rows = options.size();
  check_lengths(rows, {out.price.size(), out.delta.size(), out.gamma.size(), out.theta.size(),
                       out.vega.size(), out.rho.size()});
  const std::optional<Instant> valuation = setting.valuation;
  return for_each_row(
      rows, on_error,
      [&](std::size_t row) {
        const PricingResult result =
            value_option(options.option(row), &setting.market, valuation, &setting.config);
        out.price[row] = result.price;
        out.delta[row] = result.delta;
        out.gamma[row] = result.gamma;
        out.theta[row] = result.theta;
        out.vega[row] = result.vega.value_or(kNaN);
        out.rho[row] = result.rho.value_or(kNaN);
      },
      [&](std::size_t row) {
        for (const std::span<double>& column :
             {out.price, out.delta, out.gamma, out.theta, out.vega, out.rho}) {
          column[row] = kNaN;
        }
      });
}

std::vector<RowError> implied_volatilities(const OptionColumns& options,
                                           std::span<const double> prices,
                                           const BatchSetting& setting, OnRowError on_error,
                                           std::span<double> vols) {
  check_columns(options);
  const std::size_t rows = options.size();
  check_lengths(rows, {prices.size(), vols.size()});
  const std::optional<Instant> valuation = setting.valuation;
  return for_each_row(
      rows, on_error,
      [&](std::size_t row) {
        const std::optional<double> target = prices[row];
        vols[row] = implied_volatility(options.option(row), &setting.market, valuation,
                                       &setting.config, target);
      },
      [&](std::size_t row) { vols[row] = kNaN; });
}

}  // namespace vyr
