// The layout of every instance of the module's classes and the registry of their class objects.
// A class binds one C++ value type T: `PythonClass<T>` (declared once for all classes in
// classes.hpp) names the class and defines its methods.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "binding/borrow.hpp"
#include "binding/errors.hpp"
#include "binding/owned.hpp"
#include "binding/python.hpp"

namespace vyr::python {

template <typename T>
class ClassBuilder;

// Specialised for each bound value type with `static constexpr const char* name` and
// `static void define(ClassBuilder<T>&)`.
template <typename T>
struct PythonClass;

template <typename T>
concept BoundClass = requires {
  PythonClass<T>::name;
};

// A Python object holding a T. Instances hold plain values, carry no __dict__ and no weak-reference
// list, and take no part in cyclic garbage collection.
template <typename T>
struct Instance {
  PyObject object_head;
  BorrowState borrow;
  T value;
};

template <typename T>
Instance<T>* instance_of(PyObject* object) {
  return reinterpret_cast<Instance<T>*>(object);
}

namespace detail {
template <typename T>
inline PyTypeObject* g_type = nullptr;
template <typename T>
inline allocfunc g_alloc = nullptr;
template <typename T>
inline freefunc g_free = nullptr;
}  // namespace detail

// The class object of T, built on first need and kept for the rest of the process.
template <BoundClass T>
PyTypeObject* type_object();

// Instances cannot be subclassed, so the type test is an identity test.
template <BoundClass T>
bool is_instance(PyObject* object) {
  return Py_TYPE(object) == type_object<T>();
}

// A new instance of T's class holding `value`.
template <BoundClass T>
Owned new_instance(T value) {
  static_assert(std::is_nothrow_move_constructible_v<T>);
  PyTypeObject* type = type_object<T>();
  PyObject* object = detail::g_alloc<T>(type, 0);
  if (object == nullptr) {
    throw_python_error();
  }
  Instance<T>* instance = instance_of<T>(object);
  new (&instance->borrow) BorrowState();
  new (&instance->value) T(std::move(value));
  return Owned::steal(object);
}

template <BoundClass T>
void deallocate(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  instance_of<T>(object)->value.~T();
  detail::g_free<T>(object);
  Py_DECREF(type);
}

// A checked, owning reference to an instance of T, for objects that keep a reference to another
// object (the builders keep the option, the market frame and the configuration).
template <BoundClass T>
class Ref {
 public:
  explicit Ref(Owned object) : object_(std::move(object)) {}

  PyObject* object() const { return object_.get(); }
  Instance<T>& instance() const { return *instance_of<T>(object_.get()); }

 private:
  Owned object_;
};

// A shared borrow of an instance's value, for as long as the holder lives; or nothing, when
// default-constructed.
template <BoundClass T>
class BorrowedValue {
 public:
  BorrowedValue() = default;
  BorrowedValue(PyObject* object, OnConflict on_conflict)
      : guard_(instance_of<T>(object)->borrow, on_conflict),
        value_(&instance_of<T>(object)->value) {}

  const T& get() const { return *value_; }
  // The value, or null for an empty holder.
  const T* pointer() const { return value_; }

 private:
  SharedBorrow guard_;
  const T* value_ = nullptr;
};

// An exclusive borrow of an instance's value, for as long as the holder lives.
template <BoundClass T>
class MutableValue {
 public:
  MutableValue(PyObject* object, OnConflict on_conflict)
      : guard_(instance_of<T>(object)->borrow, on_conflict),
        value_(&instance_of<T>(object)->value) {}

  T& get() const { return *value_; }

 private:
  ExclusiveBorrow guard_;
  T* value_;
};

// Reads a referenced object inside a method body: a conflicting borrow is an internal invariant
// failure, not a RuntimeError.
template <BoundClass T>
BorrowedValue<T> read(const Ref<T>& ref) {
  return BorrowedValue<T>(ref.object(), OnConflict::Panic);
}

}  // namespace vyr::python
