// Conversions between Python objects and C++ parameter and return types. A parameter of type P
// is converted by Converter<P>: `Holder convert(PyObject*)` (throws PythonError), `P get(Holder&)`,
// and, for optional parameters, `Holder absent()` (None and absence mean the same).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/errors.hpp"
#include "binding/instance.hpp"
#include "binding/owned.hpp"
#include "binding/python.hpp"
#include "core/date.hpp"

namespace vyr::python {

template <typename P>
struct Converter;

template <typename P>
concept OptionalParameter = Converter<P>::optional;

// The name CPython gives an object's type, as messages print it.
std::string type_name(PyObject* object);

// Raises TypeError "'<type name>' object cannot be cast as '<target>'".
[[noreturn]] void raise_cannot_cast(PyObject* object, std::string_view target);

// ---- Numbers ----

// A parameter converted to a plain value by one function; the value is all the call holds.
template <typename T, T (*convert_object)(PyObject*)>
struct ValueConverter {
  using Holder = T;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) { return convert_object(object); }
  static T get(Holder& holder) { return holder; }
};

// Whatever CPython's float conversion accepts (float, int, __float__, __index__).
double to_double(PyObject* object);
// A Python int (or __index__) through the unsigned 64-bit conversion.
std::uint64_t to_uint64(PyObject* object);
// A Python int (or __index__) through the signed 64-bit conversion, then narrowed.
std::int32_t to_int32(PyObject* object);

template <>
struct Converter<double> : ValueConverter<double, &to_double> {};
template <>
struct Converter<std::uint64_t> : ValueConverter<std::uint64_t, &to_uint64> {};
template <>
struct Converter<std::int32_t> : ValueConverter<std::int32_t, &to_int32> {};

// ---- Instances of the module's classes ----

template <BoundClass T>
PyObject* checked_instance(PyObject* object) {
  if (!is_instance<T>(object)) {
    raise_cannot_cast(object, PythonClass<T>::name);
  }
  return object;
}

// The value read in place, under a shared borrow held for the whole call.
template <BoundClass T>
struct Converter<const T&> {
  using Holder = BorrowedValue<T>;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) {
    return Holder(checked_instance<T>(object), OnConflict::Panic);
  }
  static const T& get(Holder& holder) { return holder.get(); }
};

// A copy of the value.
template <BoundClass T>
struct Converter<T> {
  using Holder = T;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) {
    return BorrowedValue<T>(checked_instance<T>(object), OnConflict::Panic).get();
  }
  static T get(Holder& holder) { return std::move(holder); }
};

// Optional instance: null for None or absence.
template <BoundClass T>
struct Converter<const T*> {
  using Holder = BorrowedValue<T>;
  static constexpr bool optional = true;
  static Holder absent() { return Holder(); }
  static Holder convert(PyObject* object) {
    if (object == Py_None) {
      return Holder();
    }
    return Holder(checked_instance<T>(object), OnConflict::Panic);
  }
  static const T* get(Holder& holder) { return holder.pointer(); }
};

// A reference to the object itself, kept by the callee.
template <BoundClass T>
struct Converter<Ref<T>> {
  using Holder = Ref<T>;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) {
    return Ref<T>(Owned::borrow(checked_instance<T>(object)));
  }
  static Ref<T> get(Holder& holder) { return std::move(holder); }
};

// ---- Optional values ----

template <typename P>
requires(!Converter<P>::optional) struct Converter<std::optional<P>> {
  using Holder = std::optional<typename Converter<P>::Holder>;
  static constexpr bool optional = true;
  static Holder absent() { return std::nullopt; }
  static Holder convert(PyObject* object) {
    if (object == Py_None) {
      return std::nullopt;
    }
    return Converter<P>::convert(object);
  }
  static std::optional<P> get(Holder& holder) {
    if (!holder) {
      return std::nullopt;
    }
    return Converter<P>::get(*holder);
  }
};

// ---- Any object ----

// The argument as it is, with a reference held.
struct Object {
  Owned object;
};

template <>
struct Converter<Object> {
  using Holder = Object;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) { return Object{Owned::borrow(object)}; }
  static Object get(Holder& holder) { return std::move(holder); }
};

// ---- Sequences and pairs ----

// Refuses str ("Can't extract `str` to `Vec`"), then requires PySequence_Check or an instance of
// collections.abc.Sequence; returns an iterator over the items and a capacity hint.
Owned sequence_iterator(PyObject* object, std::size_t& capacity_hint);
// The next item of an iterator, or null at the end (PythonError when iteration fails).
Owned next_item(PyObject* iterator);

template <typename Item>
requires(!Converter<Item>::optional) struct Converter<std::vector<Item>> {
  using Holder = std::vector<Item>;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) {
    std::size_t capacity = 0;
    const Owned iterator = sequence_iterator(object, capacity);
    Holder items;
    items.reserve(capacity);
    while (Owned item = next_item(iterator.get())) {
      auto holder = Converter<Item>::convert(item.get());
      items.push_back(Converter<Item>::get(holder));
    }
    return items;
  }
  static std::vector<Item> get(Holder& holder) { return std::move(holder); }
};

template <typename First, typename Second>
struct Pair {
  First first;
  Second second;
};

// The item must be a tuple of exactly two elements.
void check_pair(PyObject* object);

template <typename First, typename Second>
struct Converter<Pair<First, Second>> {
  using Holder = Pair<First, Second>;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object) {
    check_pair(object);
    auto first = Converter<First>::convert(PyTuple_GetItem(object, 0));
    auto second = Converter<Second>::convert(PyTuple_GetItem(object, 1));
    return Holder{Converter<First>::get(first), Converter<Second>::get(second)};
  }
  static Pair<First, Second> get(Holder& holder) { return std::move(holder); }
};

// ---- Return values ----

// Returned by builder methods: the call returns the receiver itself, so calls chain.
struct ReturnSelf {};

inline PyObject* to_python(double value) {
  return PyFloat_FromDouble(value);
}
inline PyObject* to_python(std::int64_t value) {
  return PyLong_FromLongLong(value);
}
inline PyObject* to_python(std::optional<double> value) {
  if (!value) {
    Py_RETURN_NONE;
  }
  return PyFloat_FromDouble(*value);
}
inline PyObject* to_python(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}
inline PyObject* to_python(Owned object) {
  return object.release();
}
// A new datetime.date(year, month, day); its own ValueError passes through.
PyObject* to_python(const vyr::Date& date);

template <BoundClass T>
PyObject* to_python(T value) {
  return new_instance<T>(std::move(value)).release();
}

}  // namespace vyr::python
