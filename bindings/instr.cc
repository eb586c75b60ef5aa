// Python class Instr: a compact instruction. It has no equality of its own (== is identity) but a hash of its value.
#include "circuit/instr.h"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <vector>

#include "classes.h"
#include "conventions.h"
#include "permut32_caster.h"

namespace tandrel::py {

/// Qubit arguments as Python gives them: any sequence of integers 0 .. 255 except `str`.
struct QubitArgs {
    std::vector<uint8_t> values;
};

}  // namespace tandrel::py

namespace nanobind::detail {

template <>
struct type_caster<tandrel::py::QubitArgs> {
    NB_TYPE_CASTER(tandrel::py::QubitArgs, io_name("collections.abc.Sequence[int]", "list[int]"))

    bool from_python(handle src, uint8_t, cleanup_list*) noexcept(false) {
        PyObject* seq = src.ptr();
        if (PyUnicode_Check(seq) || !PySequence_Check(seq)) return false;
        const Py_ssize_t n = PySequence_Size(seq);
        if (n < 0) throw python_error();
        value.values.clear();
        for (Py_ssize_t i = 0; i < n; ++i) {
            object item = steal(PySequence_GetItem(seq, i));
            if (!item.is_valid()) throw python_error();
            uint8_t q;
            if (!tandrel::py::int_from_python<uint8_t>(item.ptr(), q)) return false;
            value.values.push_back(q);
        }
        return true;
    }
};

}  // namespace nanobind::detail

namespace tandrel::py {

namespace {
using PyInstr = Obj<Instr32>;
using PyGate = Obj<Gate16>;
nb::class_<PyInstr>* cls = nullptr;
}  // namespace

void declare_instr(nb::module_& m) {
    cls = new nb::class_<PyInstr>(
        m, "Instr",
        "Instr(gate, qargs)\n--\n\nA compact, index-only quantum instruction used internally by the search/prover.");
}

void define_instr() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyInstr* self, const PyGate& gate, const QubitArgs& qargs) {
            new (self) PyInstr(Instr32::make(*Read(gate), qargs.values));
        },
        nb::arg("gate"), nb::arg("qargs"), "Creates a compact instruction from a gate and integer qubit arguments.");
    c.def_prop_ro("gate", [](const PyInstr& i) { return PyGate(Read(i)->gate); }, "Underlying gate.");
    c.def_prop_ro(
        "qargs",
        [](const PyInstr& i) {
            const QArgs16 q = Read(i)->qargs;
            return nb::bytes(q.as_slice().data(), q.len());
        },
        "Qubit arguments as dense integer indices.");
    c.def(
        "apply_permutation", [](const PyInstr& i, Permut32 perm) { return PyInstr(Read(i)->apply_permutation(perm)); },
        nb::arg("perm"), "Applies a qubit permutation.");
    c.def(
        "permut", [](const PyInstr& i, Permut32 perm) { return PyInstr(Read(i)->permut(perm)); }, nb::arg("perm"),
        "Alias of `apply_permutation`.");
    c.def(
        "arg_mask", [](const PyInstr& i) { return Read(i)->arg_mask(); },
        "Bitmask of qubits touched by this instruction.");
    c.def(
        "pass_mask", [](const PyInstr& i, U8 mask) { return Read(i)->pass_mask(mask); }, nb::arg("mask"),
        "Updates a frontier mask for left-to-right scheduling checks.");
    c.def(
        "largest_qubit", [](const PyInstr& i) { return Read(i)->largest_qubit(); },
        "Largest qubit index touched by this instruction.");
    c.def(
        "disjoint", [](const PyInstr& i, const PyInstr& other) { return Read(i)->disjoint(*Read(other)); },
        nb::arg("other"), "Returns `true` when this and `other` touch disjoint qubits.");
    c.def("adjoint", [](const PyInstr& i) { return PyInstr(Read(i)->adjoint()); }, "Returns the adjoint instruction.");
    c.def(
        "position_of_qubit", [](const PyInstr& i, U8 qubit) { return Read(i)->position_of_qubit(qubit); },
        nb::arg("qubit"), "Returns position of `qubit` in argument list, if present.");
    c.def("__str__", [](const PyInstr& i) { return Read(i)->str(); });
    c.def("__repr__", [](const PyInstr& i) { return Read(i)->str(); });
    c.def("__hash__", [](const PyInstr& i) { return reduce_hash(Read(i)->hash_value()); });
    finish_class(c, {.hashable = true});
}

}  // namespace tandrel::py
