#include "binding/columns.hpp"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "binding/module_state.hpp"

namespace vyr::python {
namespace {

bool is_text(PyObject* object) {
  return PyUnicode_Check(object) || PyBytes_Check(object) || PyByteArray_Check(object);
}

// A held buffer export, released on every path.
class BufferView {
 public:
  // False (with no error pending) when the object refuses the request.
  bool acquire(PyObject* object, int flags) {
    if (PyObject_GetBuffer(object, &view_, flags) != 0) {
      PyErr_Clear();
      return false;
    }
    held_ = true;
    return true;
  }
  BufferView() = default;
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;
  ~BufferView() {
    if (held_) {
      PyBuffer_Release(&view_);
    }
  }

  const Py_buffer& view() const { return view_; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// Native doubles in the struct-module syntax of buffer formats.
bool is_double_format(const char* format) {
  if (format == nullptr) {
    return false;
  }
  std::string_view text(format);
  if (!text.empty() && (text.front() == '@' || text.front() == '=' ||
                        (text.front() == '<' && std::endian::native == std::endian::little) ||
                        (text.front() == '>' && std::endian::native == std::endian::big))) {
    text.remove_prefix(1);
  }
  return text == "d";
}

}  // namespace

bool is_column_object(PyObject* object) {
  if (is_text(object)) {
    return false;
  }
  if (PySequence_Check(object)) {
    return true;
  }
  const int is_sequence = PyObject_IsInstance(object, state().sequence_abc);
  if (is_sequence < 0) {
    throw_python_error();
  }
  return is_sequence == 1;
}

Owned column_items(PyObject* object) {
  if (PyTuple_Check(object)) {
    return Owned::borrow(object);
  }
  if (PyList_Check(object)) {
    return checked(PyList_AsTuple(object));
  }
  return checked(PySequence_Tuple(object));
}

Column<double> read_real_column(PyObject* object, const char* name) {
  if (!is_text(object) && PyObject_CheckBuffer(object)) {
    BufferView buffer;
    if (buffer.acquire(object, PyBUF_RECORDS_RO)) {
      const Py_buffer& view = buffer.view();
      if (view.ndim == 0) {
        // A NumPy scalar or zero-dimensional array: a single value.
        try {
          return Column<double>{{to_double(object)}, true};
        } catch (const PythonError&) {
          prefix_column_error(name, std::nullopt);
          throw;
        }
      }
      if (view.ndim == 1 && view.itemsize == sizeof(double) && is_double_format(view.format)) {
        const auto size = static_cast<std::size_t>(view.shape[0]);
        const Py_ssize_t stride = view.strides != nullptr ? view.strides[0] : view.itemsize;
        Column<double> column;
        column.values.resize(size);
        const char* data = static_cast<const char*>(view.buf);
        for (std::size_t row = 0; row < size; ++row) {
          std::memcpy(&column.values[row], data + static_cast<Py_ssize_t>(row) * stride,
                      sizeof(double));
        }
        return column;
      }
      // Any other buffer (integers, float32, more dimensions) is read element by element.
    }
  }
  return read_column<double>(
      object, name, [](PyObject* candidate) { return !is_column_object(candidate); }, &to_double);
}

std::size_t common_rows(std::initializer_list<ColumnLength> columns) {
  const ColumnLength* first = nullptr;
  for (const ColumnLength& column : columns) {
    if (column.single) {
      continue;
    }
    if (first == nullptr) {
      first = &column;
    } else if (column.size != first->size) {
      raise(PyExc_ValueError, "argument '" + std::string(column.name) + "' has " +
                                  std::to_string(column.size) + " rows, but argument '" +
                                  first->name + "' has " + std::to_string(first->size));
    }
  }
  return first != nullptr ? first->size : 1;
}

DoubleArray::DoubleArray(std::size_t rows) {
  if (rows > static_cast<std::size_t>(PY_SSIZE_T_MAX) / sizeof(double)) {
    PyErr_NoMemory();
    throw_python_error();
  }
  array_ = checked(PySequence_Repeat(state().double_array_row, static_cast<Py_ssize_t>(rows)));
  if (PyObject_GetBuffer(array_.get(), &view_, PyBUF_WRITABLE | PyBUF_FORMAT) != 0) {
    throw_python_error();
  }
  if (view_.len != static_cast<Py_ssize_t>(rows * sizeof(double)) ||
      !is_double_format(view_.format)) {
    PyBuffer_Release(&view_);
    raise(PyExc_RuntimeError, "array.array('d') does not hold native doubles");
  }
  held_ = true;
  values_ = std::span<double>(static_cast<double*>(view_.buf), rows);
}

DoubleArray::~DoubleArray() {
  if (held_) {
    PyBuffer_Release(&view_);
  }
}

Owned DoubleArray::release() {
  if (held_) {
    PyBuffer_Release(&view_);
    held_ = false;
  }
  values_ = {};
  return std::move(array_);
}

}  // namespace vyr::python
