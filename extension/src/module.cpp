// The module entry: creates `vyr` once per process, fills its state and registers the classes in
// their fixed order, each also named in `__all__`.
#include "binding/errors.hpp"
#include "binding/module_state.hpp"
#include "classes.hpp"

namespace vyr::python {
namespace {

PyModuleDef g_module_definition = {
    PyModuleDef_HEAD_INIT,
    "vyr",
    "Option pricing: market data, vanilla options, closed-form and finite-difference valuation, "
    "implied volatility, calendar and rate arithmetic.",
    sizeof(ModuleState),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

struct RegisteredClass {
  const char* name;
  PyTypeObject* (*build)();
};

// Module attribute order and `__all__` order.
constexpr RegisteredClass kRegistry[] = {
    {"Compounding", &type_object<vyr::Compounding>},
    {"DayCountConvention", &type_object<vyr::DayCountConvention>},
    {"Frequency", &type_object<vyr::Frequency>},
    {"InterestRate", &type_object<vyr::InterestRate>},
    {"VanillaOption", &type_object<vyr::VanillaOption>},
    {"OptionMarketFrame", &type_object<vyr::MarketFrame>},
    {"Tenor", &type_object<vyr::Tenor>},
    {"RateCurve", &type_object<vyr::RateCurve>},
    {"VolSurface", &type_object<vyr::VolSurface>},
    {"FdmConfig", &type_object<vyr::FdmConfig>},
    {"Config", &type_object<ConfigHandle>},
    {"OptionType", &type_object<vyr::OptionType>},
    {"ExerciseStyle", &type_object<vyr::ExerciseStyle>},
    {"ValuationBuilder", &type_object<ValuationRequest>},
    {"OptionResult", &type_object<OptionResultValue>},
    {"Greeks", &type_object<GreeksValue>},
    {"InstrumentPolicy", &type_object<vyr::InstrumentPolicy>},
    {"PeriodCalculator", &type_object<PeriodCalculatorClass>},
    {"DividendSchedule", &type_object<DividendSchedule>},
    {"TransformConfig", &type_object<vyr::Transform>},
};

void register_class(PyObject* module, Owned& all, const RegisteredClass& entry) {
  PyObject* type = reinterpret_cast<PyObject*>(entry.build());
  if (!all) {
    all = checked(PyList_New(0));
    if (PyModule_AddObjectRef(module, "__all__", all.get()) < 0) {
      throw_python_error();
    }
  }
  if (PyModule_AddObjectRef(module, entry.name, type) < 0) {
    throw_python_error();
  }
  const Owned name = checked(PyUnicode_FromString(entry.name));
  if (PyList_Append(all.get(), name.get()) < 0) {
    throw_python_error();
  }
}

PyObject* create_module() {
  static bool initialised = false;
  if (initialised) {
    raise(PyExc_ImportError, "vyr may be initialised only once per interpreter process");
  }
  initialised = true;

  Owned module = checked(PyModule_Create(&g_module_definition));
  auto* module_state = static_cast<ModuleState*>(PyModule_GetState(module.get()));
  install_state(module_state);
  // The module and its state stay for the rest of the process: class objects and instances may
  // outlive the interpreter's teardown of the module namespace.
  static PyObject* const kept_module = Py_NewRef(module.get());
  (void)kept_module;
  initialise_state(*module_state);

  Owned all;
  for (const RegisteredClass& entry : kRegistry) {
    register_class(module.get(), all, entry);
  }
  return module.release();
}

}  // namespace
}  // namespace vyr::python

PyMODINIT_FUNC PyInit_vyr(void) {
  return vyr::python::guarded<PyObject*>(nullptr, [] { return vyr::python::create_module(); });
}
