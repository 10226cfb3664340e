#include "binding/module_state.hpp"

#include "binding/errors.hpp"

namespace vyr::python {
namespace {

ModuleState* g_state = nullptr;

PyObject* intern(const char* text) {
  PyObject* name = PyUnicode_InternFromString(text);
  if (name == nullptr) {
    throw_python_error();
  }
  return name;
}

PyObject* attribute_of(PyObject* object, const char* name) {
  PyObject* value = PyObject_GetAttrString(object, name);
  if (value == nullptr) {
    throw_python_error();
  }
  return value;
}

}  // namespace

ModuleState& state() {
  return *g_state;
}

void install_state(ModuleState* state) {
  g_state = state;
}

void initialise_state(ModuleState& state) {
  Owned datetime = checked(PyImport_ImportModule("datetime"));
  state.datetime_type = attribute_of(datetime.get(), "datetime");
  state.date_type = attribute_of(datetime.get(), "date");
  Owned timezone = checked(PyObject_GetAttrString(datetime.get(), "timezone"));
  state.utc = attribute_of(timezone.get(), "utc");

  Owned abc = checked(PyImport_ImportModule("collections.abc"));
  state.sequence_abc = attribute_of(abc.get(), "Sequence");

  Owned array = checked(PyImport_ImportModule("array"));
  Owned array_type = checked(PyObject_GetAttrString(array.get(), "array"));
  state.double_array_row =
      checked(PyObject_CallFunction(array_type.get(), "s[d]", "d", 0.0)).release();

  InternedNames& names = state.names;
  names.utcoffset = intern("utcoffset");
  names.timestamp = intern("timestamp");
  names.astimezone = intern("astimezone");
  names.tzinfo = intern("tzinfo");
  names.year = intern("year");
  names.month = intern("month");
  names.day = intern("day");
  names.hour = intern("hour");
  names.minute = intern("minute");
  names.second = intern("second");
  names.microsecond = intern("microsecond");
  names.qualname = intern("__qualname__");
}

void keep_class(PyObject* type) {
  ModuleState& module = state();
  if (module.class_count >= ModuleState::kMaxClasses) {
    raise(PyExc_RuntimeError, "too many classes for the module state");
  }
  Py_INCREF(type);
  module.classes[module.class_count++] = type;
}

}  // namespace vyr::python
