// Frequency: an enumeration whose value is the number of periods per year.
#include <string>

#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::Frequency;

std::string repr(const Frequency& frequency) {
  return std::string(frequency_name(frequency));
}

std::int64_t periods(const Frequency& frequency) {
  return periods_per_year(frequency);
}

std::int64_t index(const Frequency& frequency) {
  return static_cast<std::int64_t>(frequency);
}

}  // namespace

void PythonClass<Frequency>::define(ClassBuilder<Frequency>& builder) {
  builder.repr<&repr>()
      .integer<&index>()
      .property<&periods>("value")
      .constant("Annual", Frequency::Annual)
      .constant("SemiAnnual", Frequency::SemiAnnual)
      .constant("Quarterly", Frequency::Quarterly)
      .constant("Monthly", Frequency::Monthly);
}

}  // namespace vyr::python
