#include "execution/chain_pricing.hpp"

#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "binding/lock_release.hpp"
#include "binding/module_state.hpp"
#include "core/clock.hpp"
#include "core/error.hpp"
#include "execution/batch.hpp"

namespace vyr::python {

ErrorsMode Converter<ErrorsMode>::convert(PyObject* object) {
  if (PyUnicode_Check(object)) {
    if (PyUnicode_CompareWithASCIIString(object, "nan") == 0) {
      return ErrorsMode::Nan;
    }
    if (PyUnicode_CompareWithASCIIString(object, "raise") == 0) {
      return ErrorsMode::Raise;
    }
  }
  const Owned text = checked(PyObject_Repr(object));
  const Owned message =
      checked(PyUnicode_FromFormat("errors must be 'nan' or 'raise', not %U", text.get()));
  PyErr_SetObject(PyExc_ValueError, message.get());
  throw_python_error();
}

ExpiryColumn Converter<ExpiryColumn>::convert_named(PyObject* object, const char* name) {
  InstantCache cache(vyr::TimestampSplit::Truncating, kExpiryMessages);
  // A datetime, or anything that is no sequence (and fails the datetime type test), is a single
  // value.
  const auto is_datetime = [](PyObject* candidate) {
    return PyType_IsSubtype(Py_TYPE(candidate),
                            reinterpret_cast<PyTypeObject*>(state().datetime_type)) != 0 ||
           !is_column_object(candidate);
  };
  return ExpiryColumn{read_column<vyr::Instant>(
      object, name, is_datetime, [&](PyObject* element) { return cache.convert(element); })};
}

namespace {

// The options of a call, one plain column per field, every single value repeated.
struct OptionRows {
  std::size_t rows;
  std::vector<double> strikes;
  std::vector<vyr::Instant> expiries;
  std::vector<vyr::OptionType> option_types;
  std::vector<vyr::ExerciseStyle> exercise_styles;

  vyr::OptionColumns columns() const {
    return vyr::OptionColumns{strikes, expiries, option_types, exercise_styles};
  }
};

OptionRows option_rows(Column<double>& strikes, ExpiryColumn& expiries,
                       Column<vyr::OptionType>& option_types,
                       Column<vyr::ExerciseStyle>& exercise_styles,
                       const Column<double>* prices = nullptr) {
  const std::size_t rows =
      prices == nullptr
          ? common_rows({length_of("strikes", strikes), length_of("expiries", expiries.column),
                         length_of("option_types", option_types),
                         length_of("exercise_styles", exercise_styles)})
          : common_rows({length_of("strikes", strikes), length_of("expiries", expiries.column),
                         length_of("option_types", option_types),
                         length_of("exercise_styles", exercise_styles),
                         length_of("prices", *prices)});
  return OptionRows{
      rows, std::move(strikes).expanded(rows), std::move(expiries.column).expanded(rows),
      std::move(option_types).expanded(rows), std::move(exercise_styles).expanded(rows)};
}

// The one valuation instant of the batch: the given time (converted as the builders' at()), or
// the clock read once.
vyr::Instant batch_instant(const std::optional<AwareDateTime>& valuation_time) {
  if (!valuation_time) {
    return vyr::now_utc();
  }
  return timestamp_instant(*valuation_time, vyr::TimestampSplit::Rounding, kEvaluationTimeMessages);
}

// The configuration snapshot of the batch, or the initial configuration.
struct Routing {
  std::shared_ptr<const vyr::PricingConfig> snapshot;
  const vyr::PricingConfig& get() const {
    return snapshot != nullptr ? *snapshot : vyr::PricingConfig::initial();
  }
};

Routing routing_of(const std::optional<ConfigHandle>& config) {
  return Routing{config ? config->snapshot : nullptr};
}

vyr::OnRowError on_row_error(ErrorsMode errors) {
  return errors == ErrorsMode::Raise ? vyr::OnRowError::Stop : vyr::OnRowError::Continue;
}

// Raises a row's failure as the single call raises it: the core's exception goes through the
// binding's one choke point.
[[noreturn]] void raise_row_error(const vyr::RowError& failure) {
  switch (failure.kind) {
    case vyr::RowErrorKind::ValueError:
      throw vyr::ValueError(failure.message);
    case vyr::RowErrorKind::TypeError:
      throw vyr::TypeError(failure.message);
    case vyr::RowErrorKind::MemoryError:
      throw std::bad_alloc();
    case vyr::RowErrorKind::Panic:
      break;
  }
  throw vyr::Panic(failure.message);
}

// The error column: None for a row that succeeded, its message for a failed one. Consecutive
// failures with the same message share one string.
Owned error_column(std::size_t rows, const std::vector<vyr::RowError>& failures) {
  const Owned none = checked(PyList_New(1));
  PyList_SetItem(none.get(), 0, Py_NewRef(Py_None));
  Owned list = checked(PySequence_Repeat(none.get(), static_cast<Py_ssize_t>(rows)));
  Owned message;
  const std::string* message_text = nullptr;
  for (const vyr::RowError& failure : failures) {
    if (message_text == nullptr || *message_text != failure.message) {
      message = checked(PyUnicode_FromStringAndSize(
          failure.message.data(), static_cast<Py_ssize_t>(failure.message.size())));
      message_text = &failure.message;
    }
    // Replaces (and releases) the None in that row.
    if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(failure.row), Py_NewRef(message.get())) <
        0) {
      throw_python_error();
    }
  }
  return list;
}

void set_item(PyObject* dict, const char* key, Owned value) {
  if (PyDict_SetItemString(dict, key, value.get()) < 0) {
    throw_python_error();
  }
}

}  // namespace

Owned value_many(Column<double> strikes, ExpiryColumn expiries,
                 Column<vyr::OptionType> option_types, Column<vyr::ExerciseStyle> exercise_styles,
                 vyr::MarketFrame market, std::optional<AwareDateTime> valuation_time,
                 std::optional<ConfigHandle> config, ErrorsMode errors) {
  const vyr::Instant valuation = batch_instant(valuation_time);
  const OptionRows options = option_rows(strikes, expiries, option_types, exercise_styles);
  const Routing routing = routing_of(config);
  const std::size_t rows = options.rows;
  DoubleArray price(rows), delta(rows), gamma(rows), theta(rows), vega(rows), rho(rows);
  const vyr::ValuationColumns out{price.values(), delta.values(), gamma.values(),
                                  theta.values(), vega.values(),  rho.values()};
  const vyr::BatchSetting setting{market, valuation, routing.get()};

  std::vector<vyr::RowError> failures;
  without_interpreter_lock([&] {
    failures = vyr::value_options(options.columns(), setting, on_row_error(errors), out);
  });
  if (errors == ErrorsMode::Raise && !failures.empty()) {
    raise_row_error(failures.front());
  }

  Owned result = checked(PyDict_New());
  set_item(result.get(), "price", price.release());
  set_item(result.get(), "delta", delta.release());
  set_item(result.get(), "gamma", gamma.release());
  set_item(result.get(), "theta", theta.release());
  set_item(result.get(), "vega", vega.release());
  set_item(result.get(), "rho", rho.release());
  set_item(result.get(), "error", error_column(rows, failures));
  return result;
}

Owned implied_vol_many(Column<double> strikes, ExpiryColumn expiries,
                       Column<vyr::OptionType> option_types,
                       Column<vyr::ExerciseStyle> exercise_styles, Column<double> prices,
                       vyr::MarketFrame market, std::optional<AwareDateTime> valuation_time,
                       std::optional<ConfigHandle> config, ErrorsMode errors) {
  const vyr::Instant valuation = batch_instant(valuation_time);
  const OptionRows options = option_rows(strikes, expiries, option_types, exercise_styles, &prices);
  const std::vector<double> targets = std::move(prices).expanded(options.rows);
  const Routing routing = routing_of(config);
  const std::size_t rows = options.rows;
  DoubleArray vol(rows);
  const vyr::BatchSetting setting{market, valuation, routing.get()};

  std::vector<vyr::RowError> failures;
  without_interpreter_lock([&] {
    failures = vyr::implied_volatilities(options.columns(), targets, setting, on_row_error(errors),
                                         vol.values());
  });
  if (errors == ErrorsMode::Raise && !failures.empty()) {
    raise_row_error(failures.front());
  }

  Owned result = checked(PyDict_New());
  set_item(result.get(), "vol", vol.release());
  set_item(result.get(), "error", error_column(rows, failures));
  return result;
}

}  // namespace vyr::python
