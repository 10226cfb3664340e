#include "binding/conversions.hpp"

#include <limits>

#include "binding/module_state.hpp"

namespace vyr::python {

std::string type_name(PyObject* object) {
  Owned name = Owned::steal(
      PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(object)), state().names.qualname));
  if (name && PyUnicode_Check(name.get())) {
    Py_ssize_t size = 0;
    if (const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
      return std::string(text, static_cast<std::size_t>(size));
    }
  }
  PyErr_Clear();
  return "object";
}

void raise_cannot_cast(PyObject* object, std::string_view target) {
  raise(PyExc_TypeError,
        "'" + type_name(object) + "' object cannot be cast as '" + std::string(target) + "'");
}

double to_double(PyObject* object) {
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred() != nullptr) {
    throw_python_error();
  }
  return value;
}

std::uint64_t to_uint64(PyObject* object) {
  const Owned index = checked(PyNumber_Index(object));
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
    throw_python_error();
  }
  return value;
}

std::int32_t to_int32(PyObject* object) {
  const long value = PyLong_AsLong(object);
  if (value == -1 && PyErr_Occurred() != nullptr) {
    throw_python_error();
  }
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    raise(PyExc_OverflowError, "out of range integral type conversion attempted");
  }
  return static_cast<std::int32_t>(value);
}

Owned sequence_iterator(PyObject* object, std::size_t& capacity_hint) {
  if (PyUnicode_Check(object)) {
    raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  }
  if (!PySequence_Check(object)) {
    const int is_sequence = PyObject_IsInstance(object, state().sequence_abc);
    if (is_sequence < 0) {
      throw_python_error();
    }
    if (is_sequence == 0) {
      raise_cannot_cast(object, "Sequence");
    }
  }
  // The length only sizes the first allocation; a sequence may report any length it likes.
  constexpr Py_ssize_t kLargestHint = 4096;
  const Py_ssize_t size = PySequence_Size(object);
  if (size < 0) {
    PyErr_Clear();
    capacity_hint = 0;
  } else {
    capacity_hint = static_cast<std::size_t>(size < kLargestHint ? size : kLargestHint);
  }
  return checked(PyObject_GetIter(object));
}

Owned next_item(PyObject* iterator) {
  Owned item = Owned::steal(PyIter_Next(iterator));
  if (!item && PyErr_Occurred() != nullptr) {
    throw_python_error();
  }
  return item;
}

void check_pair(PyObject* object) {
  if (!PyTuple_Check(object)) {
    raise_cannot_cast(object, "tuple");
  }
  const Py_ssize_t size = PyTuple_Size(object);
  if (size != 2) {
    raise(PyExc_ValueError,
          "expected tuple of length 2, but got tuple of length " + std::to_string(size));
  }
}

}  // namespace vyr::python
