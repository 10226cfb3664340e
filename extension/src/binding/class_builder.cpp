#include "binding/class_builder.hpp"

#include <stdexcept>

namespace vyr::python {

ClassStorage& new_class_storage(const char* name) {
  // Reachable for the life of the process: class objects point into these records.
  static auto* const all = new std::deque<ClassStorage>();
  ClassStorage& storage = all->emplace_back();
  storage.name = name;
  storage.qualified_name = std::string("builtins.") + name;
  return storage;
}

const Parameters& make_parameters(ClassStorage& storage, std::string full_name,
                                  std::initializer_list<const char*> names, const bool* optional,
                                  const char* const* defaults, std::size_t arity) {
  if (names.size() != arity) {
    throw std::logic_error(full_name + " declares " + std::to_string(names.size()) +
                           " parameter names for " + std::to_string(arity) + " parameters");
  }
  Parameters& parameters = storage.parameters.emplace_back();
  parameters.full_name = std::move(full_name);
  for (const char* name : names) {
    parameters.names.emplace_back(name);
    PyObject* interned = PyUnicode_InternFromString(name);
    if (interned == nullptr) {
      throw_python_error();
    }
    parameters.interned.push_back(interned);
  }
  std::size_t required = 0;
  while (required < arity && !optional[required]) {
    ++required;
  }
  for (std::size_t index = required; index < arity; ++index) {
    if (!optional[index]) {
      throw std::logic_error(parameters.full_name +
                             ": a required parameter follows an optional one");
    }
  }
  parameters.required = required;
  for (std::size_t index = required; index < arity; ++index) {
    parameters.defaults.emplace_back(defaults[index]);
  }
  return parameters;
}

const char* text_signature(ClassStorage& storage, const char* name, const Parameters& parameters,
                           bool with_self) {
  std::string text = std::string(name) + "(";
  bool first = true;
  if (with_self) {
    text += "$self";
    first = false;
  }
  for (std::size_t index = 0; index < parameters.count(); ++index) {
    if (!first) {
      text += ", ";
    }
    first = false;
    text += parameters.names[index];
    if (index >= parameters.required) {
      text += "=" + parameters.defaults[index - parameters.required];
    }
  }
  text += ")\n--\n\n";
  return storage.texts.emplace_back(std::move(text)).c_str();
}

PyTypeObject* create_class(ClassStorage& storage, int basic_size, destructor dealloc,
                           const std::function<void(PyTypeObject*)>& publish) {
  try {
    std::vector<PyType_Slot>& slots = storage.slots;
    slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
    if (storage.has_constructor) {
      slots.push_back({Py_tp_doc, const_cast<char*>(storage.doc.c_str())});
    }
    if (!storage.methods.empty()) {
      storage.methods.push_back({nullptr, nullptr, 0, nullptr});
      slots.push_back({Py_tp_methods, storage.methods.data()});
    }
    if (!storage.properties.empty()) {
      storage.properties.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
      slots.push_back({Py_tp_getset, storage.properties.data()});
    }
    slots.push_back({0, nullptr});

    unsigned int flags = Py_TPFLAGS_DEFAULT;
    if (!storage.has_constructor) {
      flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
    }
    PyType_Spec spec{storage.qualified_name.c_str(), basic_size, 0, flags, slots.data()};
    Owned type = checked(PyType_FromSpec(&spec));
    auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
    keep_class(type.get());
    publish(type_object);
    for (auto& [name, make] : storage.attributes) {
      Owned value = make();
      if (PyObject_SetAttrString(type.get(), name.c_str(), value.get()) < 0) {
        throw_python_error();
      }
    }
    return type_object;
  } catch (...) {
    set_error_from_current_exception();
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    const Owned cause_type = Owned::steal(type);
    Owned cause = Owned::steal(value);
    const Owned cause_traceback = Owned::steal(traceback);
    Owned error = Owned::steal(PyObject_CallFunction(
        PyExc_RuntimeError, "s",
        ("An error occurred while initializing class " + storage.name).c_str()));
    if (error) {
      PyException_SetCause(error.get(), cause.release());
      PyErr_SetObject(PyExc_RuntimeError, error.get());
    }
    throw PythonError{};
  }
}

}  // namespace vyr::python
