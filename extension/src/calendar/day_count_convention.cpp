// DayCountConvention and its two grouping classes, Thirty360 and ActAct. Each convention is one
// object: DayCountConvention.US_ISDA is DayCountConvention.THIRTY_360.US_ISDA.
#include <string>

#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::DayCountConvention;
using vyr::Thirty360Variant;

std::string repr(const DayCountConvention& convention) {
  return "<DayCountConvention: " + std::string(convention.debug_name()) + ">";
}

Owned class_object(PyTypeObject* type) {
  return Owned::borrow(reinterpret_cast<PyObject*>(type));
}

// The attribute `name` of the grouping class T, so both paths reach the same object.
template <BoundClass T>
std::function<Owned()> grouped(const char* name) {
  return [name] {
    return checked(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type_object<T>()), name));
  };
}

}  // namespace

void PythonClass<DayCountConvention>::define(ClassBuilder<DayCountConvention>& builder) {
  builder.repr<&repr>()
      .constant("ACT_360", DayCountConvention::actual_360())
      .constant("ACT_365_FIXED", DayCountConvention::actual_365_fixed())
      .attribute("THIRTY_360", [] { return class_object(type_object<Thirty360Group>()); })
      .attribute("ACT_ACT", [] { return class_object(type_object<ActActGroup>()); })
      .attribute("ISDA", grouped<ActActGroup>("ISDA"))
      .attribute("US_ISDA", grouped<Thirty360Group>("US_ISDA"))
      .attribute("GERMAN_ISDA", grouped<Thirty360Group>("GERMAN_ISDA"))
      .attribute("EUROBOND_ISMA", grouped<Thirty360Group>("EUROBOND_ISMA"));
}

void PythonClass<Thirty360Group>::define(ClassBuilder<Thirty360Group>& builder) {
  const auto convention = [](Thirty360Variant variant) {
    return [variant] {
      return new_instance<DayCountConvention>(DayCountConvention::thirty_360(variant));
    };
  };
  builder.attribute("US_ISDA", convention(Thirty360Variant::UnitedStatesIsda))
      .attribute("EUROBOND_ISMA", convention(Thirty360Variant::EurobondIsma))
      .attribute("GERMAN_ISDA", convention(Thirty360Variant::GermanIsda));
}

void PythonClass<ActActGroup>::define(ClassBuilder<ActActGroup>& builder) {
  builder.attribute("ISDA", [] {
    return new_instance<DayCountConvention>(DayCountConvention::actual_actual_isda());
  });
}

}  // namespace vyr::python
