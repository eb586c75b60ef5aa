// The probe module's parts: each subsystem exposes its internals to the tests in a file of its own.
#pragma once

#include <nanobind/nanobind.h>

namespace tandrel::probe {

/// Creates the module `tandrel._probe` and places it in sys.modules.
void register_probe_module();


void probe_permutation(nanobind::module_& m);  // permutation.cc
void probe_alias_list(nanobind::module_& m);   // alias_list.cc
void probe_circuit(nanobind::module_& m);      // circuit.cc: gates, parameters, instructions
void probe_state(nanobind::module_& m);        // state.cc: kernels, order information, evaluation
void probe_eccs(nanobind::module_& m);         // eccs.cc: classes and the JSON writer
void probe_search(nanobind::module_& m);       // search.cc: the raw table and the search drivers
void probe_identity(nanobind::module_& m);     // identity.cc: circuits, object form, identity circuits

}  // namespace tandrel::probe
