// Compounding: simple, compounded at a frequency, continuous, or simple then compounded.
#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::Compounding;

Compounding simple() {
  return Compounding::simple();
}
Compounding continuous() {
  return Compounding::continuous();
}
Compounding compounded(vyr::Frequency frequency) {
  return Compounding::compounded(frequency);
}
Compounding simple_then_compounded(vyr::Frequency frequency) {
  return Compounding::simple_then_compounded(frequency);
}

std::string repr(const Compounding& compounding) {
  return compounding.repr();
}

}  // namespace

void PythonClass<Compounding>::define(ClassBuilder<Compounding>& builder) {
  builder.static_method<&simple>("simple")
      .static_method<&continuous>("continuous")
      .static_method<&compounded>("compounded", {"freq"})
      .static_method<&simple_then_compounded>("simple_then_compounded", {"freq"})
      .repr<&repr>();
}

}  // namespace vyr::python
