// Binding of call arguments to parameters. Every parameter is positional-or-keyword; positional
// arguments fill parameters in order, keywords by name. The result is one borrowed object (or
// null for an absent optional) per parameter, before any conversion.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "binding/python.hpp"

namespace vyr::python {

struct Parameters {
  // "<Class>.<method>()", the constructor's method being "__new__".
  std::string full_name;
  std::vector<std::string> names;
  // Interned names, compared by identity first.
  std::vector<PyObject*> interned;
  // The leading `required` parameters must be given; the rest are optional.
  std::size_t required = 0;
  // The default text of each optional parameter, as the text signature shows it.
  std::vector<std::string> defaults;

  std::size_t count() const { return names.size(); }
  const char* name(std::size_t index) const { return names[index].c_str(); }
};

// From a vectorcall-style argument array (METH_FASTCALL | METH_KEYWORDS). Throws PythonError
// with CPython's TypeError on a count or keyword error; `slots` has room for every parameter.
void bind_arguments(const Parameters& parameters, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);

// From an argument tuple and keyword dict (type slots such as tp_new).
void bind_arguments(const Parameters& parameters, PyObject* args, PyObject* kwargs,
                    PyObject** slots);

}  // namespace vyr::python
