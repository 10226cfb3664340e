// Failure handling of the binding. Binding code signals "a Python exception is set" by throwing
// PythonError; every entry point from CPython runs its body through `guarded`, the single place
// where C++ exceptions become Python exceptions, so none ever crosses into the interpreter.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "binding/owned.hpp"
#include "binding/python.hpp"

namespace vyr::python {

// Thrown after a Python exception has been set.
struct PythonError {};

// Throws PythonError; the Python exception must already be set.
[[noreturn]] void throw_python_error();
// Sets `type` with `message` and throws PythonError.
[[noreturn]] void raise(PyObject* type, std::string_view message);

// A new reference from a CPython call, or PythonError when the call failed.
inline Owned checked(PyObject* new_reference) {
  if (new_reference == nullptr) {
    throw_python_error();
  }
  return Owned::steal(new_reference);
}

// The PanicException class (derived from BaseException), created on first use.
PyObject* panic_exception_type();

// Sets the Python exception for the C++ exception being handled. Called only inside a catch.
void set_error_from_current_exception() noexcept;

// Runs an entry point's body; any C++ exception becomes the matching Python exception and the
// entry point returns `failure`.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    set_error_from_current_exception();
    return failure;
  }
}

// Replaces a pending TypeError by "argument '<name>': <message>", keeping its cause. Errors of
// any other type are left as they are.
void prefix_argument_error(const char* name) noexcept;

// The same for an element of a column argument, or for its single value when `row` is absent:
// "argument '<name>', row <row>: <message>". ValueErrors get the prefix too, so that a bad
// element is found by its column and row.
void prefix_column_error(const char* name, std::optional<std::size_t> row) noexcept;

}  // namespace vyr::python
