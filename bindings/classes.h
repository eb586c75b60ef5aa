// The binding of every class, in two phases: `declare_*` creates the type object (so that every signature can
// name every class), `define_*` adds its methods. module.cc calls them in registration order.
#pragma once

#include <nanobind/nanobind.h>

namespace tandrel::py {

void declare_state_vec(nanobind::module_& m);
void define_state_vec();

}  // namespace tandrel::py
