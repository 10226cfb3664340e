#include "binding/arguments.hpp"

#include <string>

#include "binding/errors.hpp"

namespace vyr::python {
namespace {

[[noreturn]] void raise_too_many_positional(const Parameters& parameters, Py_ssize_t given) {
  std::string message = parameters.full_name + " takes ";
  if (parameters.required == parameters.count()) {
    message += std::to_string(parameters.count());
  } else {
    message +=
        "from " + std::to_string(parameters.required) + " to " + std::to_string(parameters.count());
  }
  message += " positional arguments but " + std::to_string(given) +
             (given == 1 ? " was given" : " were given");
  raise(PyExc_TypeError, message);
}

[[noreturn]] void raise_missing(const Parameters& parameters, PyObject* const* slots) {
  std::vector<const std::string*> missing;
  for (std::size_t index = 0; index < parameters.required; ++index) {
    if (slots[index] == nullptr) {
      missing.push_back(&parameters.names[index]);
    }
  }
  std::string message = parameters.full_name + " missing " + std::to_string(missing.size()) +
                        " required positional argument" + (missing.size() == 1 ? "" : "s") + ": ";
  for (std::size_t index = 0; index < missing.size(); ++index) {
    if (index != 0) {
      if (missing.size() > 2) {
        message += ',';
      }
      message += index + 1 == missing.size() ? " and " : " ";
    }
    message += '\'' + *missing[index] + '\'';
  }
  raise(PyExc_TypeError, message);
}

// TypeError "<full> got an unexpected keyword argument '<keyword>'". The keyword goes into the
// message as a Python string: it may hold text (lone surrogates) that has no UTF-8 form.
[[noreturn]] void raise_unexpected_keyword(const Parameters& parameters, PyObject* keyword) {
  Owned message = Owned::steal(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'",
                                                    parameters.full_name.c_str(), keyword));
  if (message) {
    PyErr_SetObject(PyExc_TypeError, message.get());
  }
  throw_python_error();
}

// The index of the parameter a keyword names, or count() when it names none.
std::size_t find_parameter(const Parameters& parameters, PyObject* keyword) {
  const std::size_t count = parameters.count();
  for (std::size_t index = 0; index < count; ++index) {
    if (parameters.interned[index] == keyword) {
      return index;
    }
  }
  if (!PyUnicode_Check(keyword)) {
    raise(PyExc_TypeError, parameters.full_name + " keywords must be strings");
  }
  for (std::size_t index = 0; index < count; ++index) {
    const int comparison = PyUnicode_Compare(keyword, parameters.interned[index]);
    if (comparison == 0) {
      return index;
    }
    if (comparison == -1 && PyErr_Occurred() != nullptr) {
      throw_python_error();
    }
  }
  return count;
}

void bind_keyword(const Parameters& parameters, PyObject* keyword, PyObject* value,
                  PyObject** slots) {
  const std::size_t index = find_parameter(parameters, keyword);
  if (index == parameters.count()) {
    raise_unexpected_keyword(parameters, keyword);
  }
  if (slots[index] != nullptr) {
    raise(PyExc_TypeError, parameters.full_name + " got multiple values for argument '" +
                               parameters.names[index] + "'");
  }
  slots[index] = value;
}

void check_required(const Parameters& parameters, PyObject* const* slots) {
  for (std::size_t index = 0; index < parameters.required; ++index) {
    if (slots[index] == nullptr) {
      raise_missing(parameters, slots);
    }
  }
}

}  // namespace

void bind_arguments(const Parameters& parameters, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
  const auto count = static_cast<Py_ssize_t>(parameters.count());
  if (nargs > count) {
    raise_too_many_positional(parameters, nargs);
  }
  for (Py_ssize_t index = 0; index < nargs; ++index) {
    slots[index] = args[index];
  }
  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_Size(kwnames);
    for (Py_ssize_t index = 0; index < keywords; ++index) {
      bind_keyword(parameters, PyTuple_GetItem(kwnames, index), args[nargs + index], slots);
    }
  }
  if (nargs < static_cast<Py_ssize_t>(parameters.required)) {
    check_required(parameters, slots);
  }
}

void bind_arguments(const Parameters& parameters, PyObject* args, PyObject* kwargs,
                    PyObject** slots) {
  const Py_ssize_t nargs = args == nullptr ? 0 : PyTuple_Size(args);
  const auto count = static_cast<Py_ssize_t>(parameters.count());
  if (nargs > count) {
    raise_too_many_positional(parameters, nargs);
  }
  for (Py_ssize_t index = 0; index < nargs; ++index) {
    slots[index] = PyTuple_GetItem(args, index);
  }
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* keyword = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &keyword, &value)) {
      bind_keyword(parameters, keyword, value, slots);
    }
  }
  if (nargs < static_cast<Py_ssize_t>(parameters.required)) {
    check_required(parameters, slots);
  }
}

}  // namespace vyr::python
