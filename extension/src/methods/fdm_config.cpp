// FdmConfig and TransformConfig: the settings of the finite-difference engine.
#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::FdmConfig;
using vyr::Transform;

FdmConfig construct(std::optional<std::uint64_t> time_steps,
                    std::optional<std::uint64_t> grid_nodes, std::optional<double> grid_std_devs,
                    const Transform* transform) {
  FdmConfig config;
  if (transform != nullptr) {
    config.transform = *transform;
  }
  if (grid_nodes) {
    // An odd node count puts the middle node on the strike.
    config.grid_nodes = *grid_nodes | 1u;
  }
  if (time_steps) {
    config.time_steps = *time_steps;
  }
  if (grid_std_devs) {
    config.grid_std_devs = *grid_std_devs;
  }
  return config;
}

Transform log_transform() {
  return Transform{vyr::TransformKind::Log, 0.3};
}

Transform sinh_transform(double alpha) {
  return Transform{vyr::TransformKind::Sinh, alpha};
}

}  // namespace

void PythonClass<FdmConfig>::define(ClassBuilder<FdmConfig>& builder) {
  builder.constructor<&construct>({"time_steps", "grid_nodes", "grid_std_devs", "transform"});
}

void PythonClass<Transform>::define(ClassBuilder<Transform>& builder) {
  builder.static_method<&log_transform>("log").static_method<&sinh_transform>("sinh", {"alpha"});
}

}  // namespace vyr::python
