// Module entry: creates the extension module `tandrel` and registers its classes in their fixed order.
#include <nanobind/nanobind.h>

#include "classes.h"
#include "conventions.h"
#include "probe/probe.h"

namespace nb = nanobind;
using namespace tandrel::py;

namespace {

/// One registration slot: the class's Python name and its two binding phases.
struct ClassSlot {
    const char* name;
    void (*declare)(nb::module_&);
    void (*define)();
};

// The registration order of the module's classes. Slots whose class is not built yet stay empty:
//  1 Argument, 2 Instruction, 3 Gate, 4 Instr, 5 StateVec, 6 ECC, 7 ECCs, 8 RawECCs, 9 Evaluator, 10 Circ,
//  11 IdentityCirc, 12 IdentityProver, 13 Proof.
const ClassSlot CLASS_SLOTS[] = {
    {"Gate", declare_gate, define_gate},
    {"Instr", declare_instr, define_instr},
    {"StateVec", declare_state_vec, define_state_vec},
    {"ECC", declare_ecc, define_ecc},
    {"ECCs", declare_eccs, define_eccs},
    {"RawECCs", declare_raw_eccs, define_raw_eccs},
    {"Evaluator", declare_evaluator, define_evaluator},
    {"Circ", declare_circ, define_circ},
    {"IdentityCirc", declare_identity_circ, define_identity_circ},
};

}  // namespace

NB_MODULE(tandrel, m) {
    m.doc() =
        "Extension module entry point of tandrel.\n\n"
        "Its classes are re-exported and wrapped by the Python package `python/tandrel/__init__`, which lies "
        "outside this module.";
    register_exceptions();
    for (const ClassSlot& slot : CLASS_SLOTS) slot.declare(m);
    for (const ClassSlot& slot : CLASS_SLOTS) slot.define();
    nb::handle state_vec = m.attr("StateVec");
    tandrel::probe::register_probe_module();
    install_text_signatures(state_vec.attr("__dict__")["clone"], state_vec.attr("__dict__")["random"]);
}
