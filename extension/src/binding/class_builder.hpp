// Declaring a class: its constructor, methods, static methods, properties, repr, integer
// conversion and class attributes, each one entry naming a plain C++ function. The builder turns
// them into a heap type created with PyType_FromSpec: type name "builtins.<Name>", not
// subclassable, no instance dictionary, no weak references, no garbage-collection support.
#pragma once

#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/callable.hpp"
#include "binding/errors.hpp"
#include "binding/instance.hpp"
#include "binding/module_state.hpp"
#include "binding/python.hpp"

namespace vyr::python {

// What a class declaration collects; kept for the life of the process, since the class object
// points into it.
struct ClassStorage {
  std::string name;
  std::string qualified_name;
  std::string doc;
  std::deque<std::string> texts;
  std::deque<Parameters> parameters;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> properties;
  std::vector<PyType_Slot> slots;
  std::vector<std::pair<std::string, std::function<Owned()>>> attributes;
  bool has_constructor = false;
};

// Allocates storage that is never freed (class objects live until the process ends).
ClassStorage& new_class_storage(const char* name);

// Interns the names and works out the required count; `optional` flags each parameter and
// `defaults` gives the default text each optional one shows.
const Parameters& make_parameters(ClassStorage& storage, std::string full_name,
                                  std::initializer_list<const char*> names, const bool* optional,
                                  const char* const* defaults, std::size_t arity);

// "<name>(<parameters>)\n--\n\n", optional parameters shown with their default ("=None" for
// most), "$self" first for instance methods.
const char* text_signature(ClassStorage& storage, const char* name, const Parameters& parameters,
                           bool with_self);

// Creates the class object from the storage and sets its class attributes. `publish` runs
// between the two, so that attributes may be instances of the class itself.
PyTypeObject* create_class(ClassStorage& storage, int basic_size, destructor dealloc,
                           const std::function<void(PyTypeObject*)>& publish);

template <typename T>
class ClassBuilder {
 public:
  explicit ClassBuilder(const char* name) : storage_(new_class_storage(name)) {}

  template <auto F>
  ClassBuilder& constructor(std::initializer_list<const char*> names) {
    using List = typename Signature<decltype(F)>::Parameters;
    const auto optional = optional_flags(List{});
    const auto defaults = default_texts(List{});
    const Parameters& parameters =
        make_parameters(storage_, storage_.name + ".__new__()", names, optional.data(),
                        defaults.data(), optional.size());
    g_parameters<F> = &parameters;
    storage_.doc = text_signature(storage_, storage_.name.c_str(), parameters, false);
    storage_.has_constructor = true;
    storage_.slots.push_back({Py_tp_new, reinterpret_cast<void*>(&constructor_entry<F>)});
    return *this;
  }

  template <auto F>
  ClassBuilder& method(const char* name, std::initializer_list<const char*> names = {}) {
    using List = typename DropFirst<typename Signature<decltype(F)>::Parameters>::type;
    const auto optional = optional_flags(List{});
    const auto defaults = default_texts(List{});
    const Parameters& parameters =
        make_parameters(storage_, storage_.name + "." + name + "()", names, optional.data(),
                        defaults.data(), optional.size());
    g_parameters<F> = &parameters;
    add_method(name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_entry<F>)),
               METH_FASTCALL | METH_KEYWORDS, text_signature(storage_, name, parameters, true));
    return *this;
  }

  template <auto F>
  ClassBuilder& static_method(const char* name, std::initializer_list<const char*> names = {}) {
    using List = typename Signature<decltype(F)>::Parameters;
    const auto optional = optional_flags(List{});
    const auto defaults = default_texts(List{});
    const Parameters& parameters =
        make_parameters(storage_, storage_.name + "." + name + "()", names, optional.data(),
                        defaults.data(), optional.size());
    g_parameters<F> = &parameters;
    add_method(name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&static_entry<F>)),
               METH_STATIC | METH_FASTCALL | METH_KEYWORDS,
               text_signature(storage_, name, parameters, false));
    return *this;
  }

  // A read-only property.
  template <auto Get>
  ClassBuilder& property(const char* name) {
    storage_.properties.push_back(
        {name, &getter_entry<Get>, nullptr, nullptr, const_cast<char*>(name)});
    return *this;
  }

  // A read-write property; the setter converts the value as an argument named after it.
  template <auto Get, auto Set>
  ClassBuilder& property(const char* name) {
    storage_.properties.push_back(
        {name, &getter_entry<Get>, &setter_entry<Set>, nullptr, const_cast<char*>(name)});
    return *this;
  }

  template <auto F>
  ClassBuilder& repr() {
    storage_.slots.push_back({Py_tp_repr, reinterpret_cast<void*>(&unary_entry<F>)});
    return *this;
  }

  // int(instance).
  template <auto F>
  ClassBuilder& integer() {
    storage_.slots.push_back({Py_nb_int, reinterpret_cast<void*>(&unary_entry<F>)});
    return *this;
  }

  // A class attribute holding one instance of this class, created with the class.
  ClassBuilder& constant(const char* name, T value) {
    storage_.attributes.emplace_back(name,
                                     [value = std::move(value)] { return new_instance<T>(value); });
    return *this;
  }

  // A class attribute holding some other object, created with the class.
  ClassBuilder& attribute(const char* name, std::function<Owned()> make) {
    storage_.attributes.emplace_back(name, std::move(make));
    return *this;
  }

  PyTypeObject* build() {
    return create_class(
        storage_, static_cast<int>(sizeof(Instance<T>)), &deallocate<T>, [](PyTypeObject* type) {
          detail::g_alloc<T> = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
          detail::g_free<T> = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
          detail::g_type<T> = type;
        });
  }

 private:
  void add_method(const char* name, PyCFunction function, int flags, const char* doc) {
    storage_.methods.push_back({name, function, flags, doc});
  }

  ClassStorage& storage_;
};

template <BoundClass T>
PyTypeObject* type_object() {
  PyTypeObject* type = detail::g_type<T>;
  if (type == nullptr) [[unlikely]] {
    ClassBuilder<T> builder(PythonClass<T>::name);
    PythonClass<T>::define(builder);
    type = builder.build();
  }
  return type;
}

}  // namespace vyr::python
