// The binding of every class, in two phases: `declare_*` creates the type object (so that every signature can
// name every class), `define_*` adds its methods. module.cc calls them in registration order.
#pragma once

#include <nanobind/nanobind.h>

namespace tandrel::py {

void declare_gate(nanobind::module_& m);  // gate.cc
void define_gate();

void declare_instr(nanobind::module_& m);  // instr.cc
void define_instr();

void declare_state_vec(nanobind::module_& m);  // state_vec.cc
void define_state_vec();

void declare_evaluator(nanobind::module_& m);  // evaluator.cc
void define_evaluator();

}  // namespace tandrel::py
