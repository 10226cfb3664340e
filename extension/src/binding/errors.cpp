#include "binding/errors.hpp"

#include <exception>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>

#include "binding/module_state.hpp"
#include "core/error.hpp"

namespace vyr::python {
namespace {

void set_panic(const char* message) noexcept {
  PyObject* type = panic_exception_type();
  if (type != nullptr) {
    PyErr_SetString(type, message);
  }
}

}  // namespace

void throw_python_error() {
  throw PythonError{};
}

void raise(PyObject* type, std::string_view message) {
  Owned text = Owned::steal(
      PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) {
    PyErr_SetObject(type, text.get());
  }
  throw PythonError{};
}

PyObject* panic_exception_type() {
  ModuleState& module = state();
  if (module.panic_exception == nullptr) {
    module.panic_exception =
        PyErr_NewExceptionWithDoc("vyr.PanicException",
                                  "An internal invariant of vyr failed, or the requested case is "
                                  "not implemented. The message says which.",
                                  PyExc_BaseException, nullptr);
  }
  return module.panic_exception;
}

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const PythonError&) {
    if (PyErr_Occurred() == nullptr) {
      set_panic("a failure was reported without a Python exception");
    }
  } catch (const vyr::ValueError& error) {
    PyErr_SetString(PyExc_ValueError, error.what());
  } catch (const vyr::TypeError& error) {
    PyErr_SetString(PyExc_TypeError, error.what());
  } catch (const vyr::Panic& error) {
    set_panic(error.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    // A container asked for more elements than it can ever hold.
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    set_panic(error.what());
  } catch (...) {
    set_panic("unknown C++ exception");
  }
}

namespace {

// Replaces the pending exception, when its type is exactly one of `types`, by a new exception of
// the same type whose message is `prefix` followed by the first message. The new error carries
// the first error's cause, as if the first had never been seen.
void prefix_pending_error(std::initializer_list<PyObject*> types,
                          const std::string& prefix) noexcept {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  bool matches = false;
  for (PyObject* candidate : types) {
    matches = matches || type == candidate;
  }
  if (!matches) {
    PyErr_Restore(type, value, traceback);
    return;
  }
  PyErr_NormalizeException(&type, &value, &traceback);
  Owned original_type = Owned::steal(type);
  Owned original = Owned::steal(value);
  Owned original_traceback = Owned::steal(traceback);

  Owned message = Owned::steal(PyObject_Str(original.get()));
  if (!message) {
    return;
  }
  Owned prefixed = Owned::steal(PyUnicode_FromFormat("%s%U", prefix.c_str(), message.get()));
  if (!prefixed) {
    return;
  }
  Owned replacement =
      Owned::steal(PyObject_CallFunctionObjArgs(original_type.get(), prefixed.get(), nullptr));
  if (!replacement) {
    return;
  }
  PyException_SetCause(replacement.get(), PyException_GetCause(original.get()));
  PyErr_SetObject(original_type.get(), replacement.get());
}

}  // namespace

void prefix_argument_error(const char* name) noexcept {
  try {
    prefix_pending_error({PyExc_TypeError}, std::string("argument '") + name + "': ");
  } catch (...) {
    // The prefix could not be built; the first error stays as it is.
  }
}

void prefix_column_error(const char* name, std::optional<std::size_t> row) noexcept {
  try {
    std::string prefix = std::string("argument '") + name + "'";
    if (row) {
      prefix += ", row " + std::to_string(*row);
    }
    prefix_pending_error({PyExc_TypeError, PyExc_ValueError}, prefix + ": ");
  } catch (...) {
    // The prefix could not be built; the first error stays as it is.
  }
}

}  // namespace vyr::python
