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

void declare_ecc(nanobind::module_& m);  // eccs.cc
void define_ecc();

void declare_eccs(nanobind::module_& m);  // eccs.cc
void define_eccs();

void declare_raw_eccs(nanobind::module_& m);  // raw_eccs.cc
void define_raw_eccs();

void declare_evaluator(nanobind::module_& m);  // evaluator.cc
void define_evaluator();

void declare_circ(nanobind::module_& m);  // circ.cc
void define_circ();

void declare_identity_circ(nanobind::module_& m);  // identity_circ.cc
void define_identity_circ();

}  // namespace tandrel::py
