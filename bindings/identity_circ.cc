// Python class IdentityCirc: a circuit that equals the identity, with its stable hash and its object form.
#include "identity/identity_circ.h"

#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <vector>

#include "classes.h"
#include "conventions.h"
#include "object_form.h"

namespace tandrel::py {

namespace {
using PyIdentity = Obj<IdentityCirc>;
nb::class_<PyIdentity>* cls = nullptr;
}  // namespace

void declare_identity_circ(nb::module_& m) {
    cls = new nb::class_<PyIdentity>(
        m, "IdentityCirc",
        "IdentityCirc(circuit)\n--\n\nCanonical identity circuit (a circuit proven equivalent to identity).");
}

void define_identity_circ() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyIdentity* self, const Obj<Circ>& circuit) {
            new (self) PyIdentity(IdentityCirc::unchecked(*Read(circuit)));
        },
        nb::arg("circuit"), "Creates an identity circuit and checks it is semantically valid.");
    c.def_static(
        "from_python", [](nb::handle obj) { return PyIdentity(IdentityCirc::wrap(circ_from_object(obj))); },
        nb::arg("obj").none(), "Parses a Python-serialized identity object.");
    c.def_prop_ro(
        "inner", [](const PyIdentity& s) { return Obj<Circ>(Read(s)->inner()); }, "Underlying circuit representation.");
    c.def("nqubits", [](const PyIdentity& s) { return Read(s)->nqubits(); }, "Returns number of qubits.");
    c.def(
        "qargs_forward", [](const PyIdentity& s, Usize gate_id) { return Read(s)->qargs_forward(gate_id); },
        nb::arg("gate_id"), "For each argument of gate `gate_id`, returns next gate index using that qubit.");
    c.def(
        "qargs_backward", [](const PyIdentity& s, Usize gate_id) { return Read(s)->qargs_backward(gate_id); },
        nb::arg("gate_id"), "For each argument of gate `gate_id`, returns previous gate index using that qubit.");
    c.def(
        "check", [](const PyIdentity& s) { return Read(s)->check(); },
        "Randomized semantic check that this circuit is identity.");
    c.def(
        "hash_value", [](const PyIdentity& s) { return Read(s)->hash_value(); },
        "Stable hash of the canonical identity representation.");
    c.def(
        "pythonize", [](const PyIdentity& s) { return circ_to_object(Read(s)->inner()); },
        "Converts this identity to a Python-serializable form.");
    c.def("__len__", [](const PyIdentity& s) { return Read(s)->len(); });
    c.def("__getitem__", [](const PyIdentity& s, I64 idx) { return Obj<Instr32>(Read(s)->at(idx)); }, nb::arg("idx"));
    // As for Circ: indexing wraps around, so iteration goes over the instructions once.
    c.def("__iter__", [](const PyIdentity& s) {
        const std::vector<Instr32>& instrs = Read(s)->inner().instrs;
        return nb::iter(nb::cast(std::vector<Obj<Instr32>>(instrs.begin(), instrs.end())));
    });
    c.def("__str__", [](const PyIdentity& s) { return Read(s)->str(); });
    c.def("__repr__", [](const PyIdentity& s) { return Read(s)->debug(); });
    c.def("__hash__", [](const PyIdentity& s) { return reduce_hash(Read(s)->hash_value()); });
    def_equality<IdentityCirc>(c);
    def_ordering<IdentityCirc>(c);
    finish_class(c, {.equality = true, .hashable = true});
}

}  // namespace tandrel::py
