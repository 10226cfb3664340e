// VanillaOption.value_many and VanillaOption.implied_vol_many: a whole chain of options against
// one market in one call. The arguments are read and copied under the interpreter lock (the
// market frame and the configuration as snapshots, as the builders take them); the rows are then
// priced by the core with the lock released, and the results come back as columns.
#pragma once

#include <optional>

#include "binding/columns.hpp"
#include "classes.hpp"
#include "datetime_conversion.hpp"

namespace vyr::python {

// What a failing row does: errors="nan" records it and prices the rest; errors="raise" raises
// the first failure as the single call would.
enum class ErrorsMode : std::uint8_t { Nan, Raise };

template <>
struct Converter<ErrorsMode> {
  using Holder = ErrorsMode;
  static constexpr bool optional = true;
  static constexpr const char* default_text = "'nan'";
  static Holder absent() { return ErrorsMode::Nan; }
  // ValueError "errors must be 'nan' or 'raise', not <repr>" for anything else (None included).
  static Holder convert(PyObject* object);
  static ErrorsMode get(Holder& holder) { return holder; }
};

// A column of expiries, each converted as VanillaOption's expiry_time.
struct ExpiryColumn {
  Column<vyr::Instant> column;
};

template <>
struct Converter<ExpiryColumn> {
  using Holder = ExpiryColumn;
  static constexpr bool optional = false;
  static Holder convert_named(PyObject* object, const char* name);
  static ExpiryColumn get(Holder& holder) { return std::move(holder); }
};

// {"price", "delta", "gamma", "theta", "vega", "rho": array.array('d'), "error": list}.
Owned value_many(Column<double> strikes, ExpiryColumn expiries,
                 Column<vyr::OptionType> option_types, Column<vyr::ExerciseStyle> exercise_styles,
                 vyr::MarketFrame market, std::optional<AwareDateTime> valuation_time,
                 std::optional<ConfigHandle> config, ErrorsMode errors);

// {"vol": array.array('d'), "error": list}.
Owned implied_vol_many(Column<double> strikes, ExpiryColumn expiries,
                       Column<vyr::OptionType> option_types,
                       Column<vyr::ExerciseStyle> exercise_styles, Column<double> prices,
                       vyr::MarketFrame market, std::optional<AwareDateTime> valuation_time,
                       std::optional<ConfigHandle> config, ErrorsMode errors);

}  // namespace vyr::python
