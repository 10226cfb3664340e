// Tenor: a signed count of days, weeks, months or years, advanced from a date.
#include "classes.hpp"
#include "datetime_conversion.hpp"

namespace vyr::python {
namespace {

using vyr::Tenor;

template <Tenor::Unit unit>
Tenor make(std::int32_t count) {
  return Tenor{unit, count};
}

vyr::Date advance(const Tenor& tenor, CalendarDate from) {
  return tenor.advance(from.date);
}

}  // namespace

void PythonClass<Tenor>::define(ClassBuilder<Tenor>& builder) {
  builder.static_method<&make<Tenor::Unit::Days>>("days", {"n"})
      .static_method<&make<Tenor::Unit::Weeks>>("weeks", {"n"})
      .static_method<&make<Tenor::Unit::Months>>("months", {"n"})
      .static_method<&make<Tenor::Unit::Years>>("years", {"n"})
      .method<&advance>("advance", {"from"});
}

}  // namespace vyr::python
