// An owning handle for one Python reference: the reference is released when the handle goes out
// of scope, on every path, so no error path needs a manual Py_DECREF.
#pragma once

#include <utility>

#include "binding/python.hpp"

namespace vyr::python {

class Owned {
 public:
  Owned() = default;
  // Takes over a new reference (which may be null).
  static Owned steal(PyObject* object) { return Owned(object); }
  // Adds a reference to a borrowed object.
  static Owned borrow(PyObject* object) {
    Py_XINCREF(object);
    return Owned(object);
  }

  Owned(const Owned& other) : object_(other.object_) { Py_XINCREF(object_); }
  Owned(Owned&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Owned& operator=(Owned other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Owned() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  // Hands the reference to the caller.
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit Owned(PyObject* object) : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace vyr::python
