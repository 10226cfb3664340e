// Running plain C++ work with the interpreter lock released, so that other Python threads run
// meanwhile. The work must not touch any Python object: everything it reads and writes is C++
// memory that no Python code can reach while it runs. Its exceptions are caught inside the
// released region and rethrown once the lock is held again.
#pragma once

#include <exception>

#include "binding/python.hpp"

namespace vyr::python {

template <typename Work>
void without_interpreter_lock(Work&& work) {
  std::exception_ptr failure;
  PyThreadState* const thread = PyEval_SaveThread();
  try {
    work();
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(thread);
  if (failure) {
    std::rethrow_exception(failure);
  }
}

}  // namespace vyr::python
