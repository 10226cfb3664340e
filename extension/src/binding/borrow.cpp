#include "binding/borrow.hpp"

#include "binding/errors.hpp"
#include "core/error.hpp"

namespace vyr::python {

void raise_mutably_borrowed(OnConflict on_conflict) {
  if (on_conflict == OnConflict::Panic) {
    vyr::panic("Already mutably borrowed");
  }
  raise(PyExc_RuntimeError, "Already mutably borrowed");
}

void raise_already_borrowed(OnConflict on_conflict) {
  if (on_conflict == OnConflict::Panic) {
    vyr::panic("Already borrowed");
  }
  raise(PyExc_RuntimeError, "Already borrowed");
}

}  // namespace vyr::python
