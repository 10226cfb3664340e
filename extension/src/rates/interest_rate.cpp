// InterestRate: a nominal rate with its compounding rule and day-count convention.
#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::InterestRate;

InterestRate construct(double rate, vyr::Compounding compounding, vyr::DayCountConvention dcc) {
  return InterestRate{dcc, rate, compounding};
}

double discount_factor(const InterestRate& rate, double t) {
  return rate.discount_factor(t);
}

}  // namespace

void PythonClass<InterestRate>::define(ClassBuilder<InterestRate>& builder) {
  builder.constructor<&construct>({"rate", "compounding", "dcc"})
      .method<&discount_factor>("discount_factor", {"t"});
}

}  // namespace vyr::python
