// Everything the binding caches: the datetime classes and timezone.utc, the Sequence ABC, a
// one-element array.array of doubles that output columns are repeated from,
// interned attribute names, PanicException and the class objects. It lives in the module object's
// state; the module exists once per process, so one pointer reaches it.
#pragma once

#include <cstddef>

#include "binding/python.hpp"

namespace vyr::python {

struct InternedNames {
  PyObject* utcoffset;
  PyObject* timestamp;
  PyObject* astimezone;
  PyObject* tzinfo;
  PyObject* year;
  PyObject* month;
  PyObject* day;
  PyObject* hour;
  PyObject* minute;
  PyObject* second;
  PyObject* microsecond;
  PyObject* qualname;
};

struct ModuleState {
  static constexpr std::size_t kMaxClasses = 32;

  PyObject* datetime_type;
  PyObject* date_type;
  PyObject* utc;
  PyObject* sequence_abc;
  // array.array('d', [0.0]).
  PyObject* double_array_row;
  PyObject* panic_exception;
  InternedNames names;
  // Strong references to every class object built so far, in order of creation.
  PyObject* classes[kMaxClasses];
  std::size_t class_count;
};

// The state of the initialised module.
ModuleState& state();

// Fills the state (imports datetime and collections.abc, interns names). Throws PythonError.
void initialise_state(ModuleState& state);
// Makes `state` the one that state() returns. The module keeps it for the rest of the process:
// class objects and instances may outlive the interpreter's teardown of the module's namespace.
void install_state(ModuleState* state);

// Keeps a class object alive for the life of the module.
void keep_class(PyObject* type);

}  // namespace vyr::python
