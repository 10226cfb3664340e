// The entry points CPython calls, generated from plain C++ functions with typed parameters: the
// templates bind the arguments, borrow the receiver, convert each argument in parameter order
// (prefixing a TypeError with the argument's name), call the function, convert its result, and
// turn any C++ exception into a Python exception.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/conversions.hpp"
#include "binding/errors.hpp"
#include "binding/instance.hpp"
#include "binding/python.hpp"

namespace vyr::python {

template <typename... T>
struct TypeList {};

template <typename F>
struct Signature;

template <typename R, typename... A>
struct Signature<R (*)(A...)> {
  using Return = R;
  using Parameters = TypeList<A...>;
};

template <typename R, typename... A>
struct Signature<R (*)(A...) noexcept> : Signature<R (*)(A...)> {};

// ---- Receivers: how a method's first parameter borrows `self` ----

template <typename S>
struct Receiver;

// Read-only methods take a shared borrow.
template <BoundClass T>
struct Receiver<const T&> {
  using Class = T;
  using Holder = BorrowedValue<T>;
  static Holder take(PyObject* self) { return Holder(self, OnConflict::RuntimeError); }
  static const T& get(Holder& holder, PyObject*) { return holder.get(); }
};

// Mutating methods take the exclusive borrow.
template <BoundClass T>
struct Receiver<T&> {
  using Class = T;
  using Holder = MutableValue<T>;
  static Holder take(PyObject* self) { return Holder(self, OnConflict::RuntimeError); }
  static T& get(Holder& holder, PyObject*) { return holder.get(); }
};

// A read-only method that also needs the object itself (to keep a reference to it).
template <BoundClass T>
struct Self {
  PyObject* object;
  const T& value;
};

template <BoundClass T>
struct Receiver<Self<T>> {
  using Class = T;
  using Holder = BorrowedValue<T>;
  static Holder take(PyObject* self) { return Holder(self, OnConflict::RuntimeError); }
  static Self<T> get(Holder& holder, PyObject* self) { return Self<T>{self, holder.get()}; }
};

// ---- Argument conversion ----

// A converter that names the argument in its own errors (a column names the row as well).
template <typename P>
concept NamedConversion = requires(PyObject* object, const char* name) {
  Converter<P>::convert_named(object, name);
};

template <typename P>
typename Converter<P>::Holder convert_argument(PyObject* object, const char* name) {
  if constexpr (Converter<P>::optional) {
    if (object == nullptr) {
      return Converter<P>::absent();
    }
  }
  if constexpr (NamedConversion<P>) {
    return Converter<P>::convert_named(object, name);
  } else {
    try {
      return Converter<P>::convert(object);
    } catch (const PythonError&) {
      prefix_argument_error(name);
      throw;
    }
  }
}

template <typename P>
using Bare = std::remove_cvref_t<P>;

// Whether each parameter may be left out, for the text signature and the required count.
template <typename... P>
constexpr std::array<bool, sizeof...(P)> optional_flags(TypeList<P...>) {
  return {Converter<P>::optional...};
}

// The default an optional parameter shows in the text signature: None, unless its converter
// names another (such as 'nan').
template <typename P>
constexpr const char* default_text() {
  if constexpr (requires { Converter<P>::default_text; }) {
    return Converter<P>::default_text;
  } else {
    return "None";
  }
}

template <typename... P>
constexpr std::array<const char*, sizeof...(P)> default_texts(TypeList<P...>) {
  return {default_text<P>()...};
}

template <typename R, typename Call>
PyObject* finish(PyObject* self, Call&& call) {
  if constexpr (std::is_void_v<R>) {
    call();
    Py_RETURN_NONE;
  } else if constexpr (std::is_same_v<R, ReturnSelf>) {
    call();
    return Py_NewRef(self);
  } else {
    return to_python(call());
  }
}

// ---- Entry points ----

// Parameters of each registered function, set when its class is built.
template <auto F>
inline const Parameters* g_parameters = nullptr;

// For entry points that take no arguments besides the receiver.
inline const Parameters& no_parameters() {
  static const Parameters* const empty = new Parameters();
  return *empty;
}

template <auto F, typename... P, std::size_t... I>
PyObject* invoke_function(PyObject* const* slots, const Parameters& parameters, TypeList<P...>,
                          std::index_sequence<I...>) {
  std::tuple<typename Converter<P>::Holder...> holders{
      convert_argument<P>(slots[I], parameters.name(I))...};
  using R = typename Signature<decltype(F)>::Return;
  return finish<R>(nullptr, [&] { return F(Converter<P>::get(std::get<I>(holders))...); });
}

template <auto F, typename S, typename... P, std::size_t... I>
PyObject* invoke_method(PyObject* self, PyObject* const* slots, const Parameters& parameters,
                        TypeList<S, P...>, std::index_sequence<I...>) {
  auto receiver = Receiver<S>::take(self);
  std::tuple<typename Converter<P>::Holder...> holders{
      convert_argument<P>(slots[I], parameters.name(I))...};
  using R = typename Signature<decltype(F)>::Return;
  return finish<R>(self, [&] {
    return F(Receiver<S>::get(receiver, self), Converter<P>::get(std::get<I>(holders))...);
  });
}

template <typename List>
struct Arity;
template <typename... P>
struct Arity<TypeList<P...>> {
  static constexpr std::size_t value = sizeof...(P);
};

template <typename List>
struct DropFirst;
template <typename S, typename... P>
struct DropFirst<TypeList<S, P...>> {
  using type = TypeList<P...>;
};

// Instance method: METH_FASTCALL | METH_KEYWORDS.
template <auto F>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    using All = typename Signature<decltype(F)>::Parameters;
    constexpr std::size_t count = Arity<All>::value - 1;
    PyObject* slots[count == 0 ? 1 : count] = {};
    const Parameters& parameters = *g_parameters<F>;
    bind_arguments(parameters, args, nargs, kwnames, slots);
    return invoke_method<F>(self, slots, parameters, All{}, std::make_index_sequence<count>{});
  });
}

// Static method: METH_STATIC | METH_FASTCALL | METH_KEYWORDS.
template <auto F>
PyObject* static_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    using All = typename Signature<decltype(F)>::Parameters;
    constexpr std::size_t count = Arity<All>::value;
    PyObject* slots[count == 0 ? 1 : count] = {};
    const Parameters& parameters = *g_parameters<F>;
    bind_arguments(parameters, args, nargs, kwnames, slots);
    return invoke_function<F>(slots, parameters, All{}, std::make_index_sequence<count>{});
  });
}

// Constructor: tp_new. F returns the new instance's value.
template <auto F>
PyObject* constructor_entry(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    using All = typename Signature<decltype(F)>::Parameters;
    constexpr std::size_t count = Arity<All>::value;
    PyObject* slots[count == 0 ? 1 : count] = {};
    const Parameters& parameters = *g_parameters<F>;
    bind_arguments(parameters, args, kwargs, slots);
    return invoke_function<F>(slots, parameters, All{}, std::make_index_sequence<count>{});
  });
}

// Property getter: F(const T&) -> R.
template <auto F>
PyObject* getter_entry(PyObject* self, void*) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    using All = typename Signature<decltype(F)>::Parameters;
    return invoke_method<F>(self, nullptr, no_parameters(), All{}, std::index_sequence<>{});
  });
}

// Property setter: F(T&, P). The value is converted as an argument named after the attribute;
// deleting the attribute is refused.
template <auto F>
int setter_entry(PyObject* self, PyObject* value, void* closure) noexcept {
  return guarded<int>(-1, [&]() -> int {
    if (value == nullptr) {
      raise(PyExc_AttributeError, "can't delete attribute");
    }
    using All = typename Signature<decltype(F)>::Parameters;
    const auto* name = static_cast<const char*>(closure);
    auto run = [&]<typename S, typename P>(TypeList<S, P>) {
      auto receiver = Receiver<S>::take(self);
      auto holder = convert_argument<P>(value, name);
      F(Receiver<S>::get(receiver, self), Converter<P>::get(holder));
    };
    run(All{});
    return 0;
  });
}

// Unary slots such as __repr__ (F(const T&) -> std::string) and __int__ (F(const T&) -> int64).
template <auto F>
PyObject* unary_entry(PyObject* self) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    using All = typename Signature<decltype(F)>::Parameters;
    return invoke_method<F>(self, nullptr, no_parameters(), All{}, std::index_sequence<>{});
  });
}

}  // namespace vyr::python
