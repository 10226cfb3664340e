// Column arguments: one value per row, given as a sequence (a list, a tuple, any Sequence, a
// NumPy array, an array.array), or one single value that stands for every row. A column is read
// completely, under the interpreter lock, into plain values; the call then knows its rows without
// touching a Python object again. An element that cannot be converted fails the call with the
// error of its conversion, prefixed with the column's name and the element's row.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/errors.hpp"
#include "binding/owned.hpp"
#include "binding/python.hpp"

namespace vyr::python {

template <typename T>
struct Column {
  std::vector<T> values;
  // One value for every row.
  bool single = false;

  // The column's values for `rows` rows (a single value repeated).
  std::vector<T> expanded(std::size_t rows) && {
    if (single) {
      return std::vector<T>(rows, values.front());
    }
    return std::move(values);
  }
};

// Whether `object` is read element by element: a sequence (PySequence_Check, or an instance of
// collections.abc.Sequence) other than str, bytes and bytearray, which are single values.
bool is_column_object(PyObject* object);

// The elements of a column object as a tuple, so that Python code run by the conversion of one
// element cannot change the others under the reader.
Owned column_items(PyObject* object);

// Reads a column: `is_single(object)` tells a single value from a column object; `convert` turns
// one element (or the single value) into a T. Errors name the column and, for an element, its
// row.
template <typename T, typename IsSingle, typename Convert>
Column<T> read_column(PyObject* object, const char* name, IsSingle&& is_single, Convert&& convert) {
  Column<T> column;
  if (is_single(object)) {
    try {
      column.values.push_back(convert(object));
    } catch (const PythonError&) {
      prefix_column_error(name, std::nullopt);
      throw;
    }
    column.single = true;
    return column;
  }
  Owned items;
  try {
    items = column_items(object);
  } catch (const PythonError&) {
    prefix_column_error(name, std::nullopt);
    throw;
  }
  const Py_ssize_t size = PyTuple_Size(items.get());
  column.values.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t row = 0; row < size; ++row) {
    try {
      column.values.push_back(convert(PyTuple_GetItem(items.get(), row)));
    } catch (const PythonError&) {
      prefix_column_error(name, static_cast<std::size_t>(row));
      throw;
    }
  }
  return column;
}

// A column of reals: each element by Python's float conversion. A one-dimensional buffer of
// doubles (a NumPy float64 array, array.array('d'), a memoryview of either) is read directly.
Column<double> read_real_column(PyObject* object, const char* name);

template <>
struct Converter<Column<double>> {
  using Holder = Column<double>;
  static constexpr bool optional = false;
  static Holder convert_named(PyObject* object, const char* name) {
    return read_real_column(object, name);
  }
  static Column<double> get(Holder& holder) { return std::move(holder); }
};

// A column of the values of an enumeration class (OptionType, ExerciseStyle): an instance of the
// class (or anything that is no sequence) is the single value; elements must be instances of
// the class.
template <BoundClass E>
struct Converter<Column<E>> {
  using Holder = Column<E>;
  static constexpr bool optional = false;
  static Holder convert_named(PyObject* object, const char* name) {
    return read_column<E>(
        object, name,
        [](PyObject* candidate) {
          return is_instance<E>(candidate) || !is_column_object(candidate);
        },
        [](PyObject* element) { return instance_of<E>(checked_instance<E>(element))->value; });
  }
  static Column<E> get(Holder& holder) { return std::move(holder); }
};

struct ColumnLength {
  const char* name;
  bool single;
  std::size_t size;
};

// The rows of a call: the length of its first column that is not a single value, which every
// other such column must share (else ValueError naming both); 1 when every column is single.
std::size_t common_rows(std::initializer_list<ColumnLength> columns);

template <typename T>
ColumnLength length_of(const char* name, const Column<T>& column) {
  return ColumnLength{name, column.single, column.values.size()};
}

// A result column: a new array.array('d') of `rows` zeros, with its buffer held for writing. The
// array is not visible to any Python code until `release()` hands it over, so its memory may be
// written with the interpreter lock released.
class DoubleArray {
 public:
  explicit DoubleArray(std::size_t rows);
  DoubleArray(const DoubleArray&) = delete;
  DoubleArray& operator=(const DoubleArray&) = delete;
  ~DoubleArray();

  std::span<double> values() const { return values_; }
  // Ends the write access and hands over the array.
  Owned release();

 private:
  Owned array_;
  Py_buffer view_{};
  bool held_ = false;
  std::span<double> values_;
};

}  // namespace vyr::python
