// Python class Circ: a circuit with an explicit trailing qubit permutation.
#include "circuit/circ.h"

#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <optional>
#include <vector>

#include "classes.h"
#include "conventions.h"
#include "identity/identity_circ.h"
#include "instr_list.h"
#include "permut32_caster.h"

namespace tandrel::py {

/// The optional permutation of the constructor: None, or a permutation in its Python form. (nanobind's own
/// optional caster cannot carry the permutation caster's TypeError for a `str`.)
struct MaybePerm {
    std::optional<Permut32> perm;
};

}  // namespace tandrel::py

namespace nanobind::detail {

template <>
struct type_caster<tandrel::py::MaybePerm> {
    NB_TYPE_CASTER(tandrel::py::MaybePerm, io_name("collections.abc.Sequence[int] | None", "tuple[int, ...] | None"))

    bool from_python(handle src, uint8_t flags, cleanup_list* cleanup) noexcept(false) {
        if (src.is_none()) {
            value.perm.reset();
            return true;
        }
        make_caster<tandrel::Permut32> inner;
        if (!inner.from_python(src, flags, cleanup)) return false;
        value.perm = inner.value;
        return true;
    }
};

}  // namespace nanobind::detail

namespace tandrel::py {

namespace {
using PyCirc = Obj<Circ>;
using PyInstr = Obj<Instr32>;
nb::class_<PyCirc>* cls = nullptr;

}  // namespace

void declare_circ(nb::module_& m) {
    cls = new nb::class_<PyCirc>(m, "Circ",
                                 "Circ(instrs, perm=None)\n--\n\nCircuit with an explicit trailing qubit permutation.");
}

void define_circ() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyCirc* self, const std::vector<PyInstr>& instrs, const MaybePerm& perm) {
            std::vector<Instr32> values = instrs_from_python(instrs);
            new (self)
                PyCirc(perm.perm ? Circ::make(std::move(values), *perm.perm) : Circ::new_no_perm(std::move(values)));
        },
        nb::arg("instrs"), nb::arg("perm") = nb::none(),
        "Creates a circuit from instructions and an optional permutation.");
    c.def_prop_ro("instrs", [](const PyCirc& s) { return instrs_to_python(Read(s)->instrs); });
    c.def_prop_ro("perm", [](const PyCirc& s) { return Read(s)->perm; });
    c.def(
        "nqubits", [](const PyCirc& s) { return Read(s)->nqubits(); }, "Number of qubits tracked by the permutation.");
    c.def(
        "representative", [](const PyCirc& s) { return PyCirc(Read(s)->representative()); },
        "Returns canonical circuit representative.");
    c.def(
        "representative_with_perm",
        [](const PyCirc& s) {
            auto [rep, perm] = Read(s)->representative_with_perm();
            return nb::make_tuple(PyCirc(std::move(rep)), perm);
        },
        "Returns `(representative, applied_perm)` used in canonicalization.");
    c.def(
        "permut", [](const PyCirc& s, Permut32 perm) { return PyCirc(Read(s)->permut(perm)); }, nb::arg("perm"),
        "Applies a qubit permutation to this circuit.");
    c.def(
        "remove_swaps", [](const PyCirc& s) { return PyCirc(Read(s)->remove_swaps()); },
        "Removes explicit swap gates into the stored trailing permutation.");
    c.def("inverse", [](const PyCirc& s) { return PyCirc(Read(s)->inverse()); }, "Returns inverse circuit.");
    c.def(
        "rotate", [](const PyCirc& s, I64 n) { return PyCirc(Read(s)->rotate(n)); }, nb::arg("n"),
        "Circularly rotates instruction order by `n`.");
    c.def("len", [](const PyCirc& s) { return Read(s)->len(); }, "Number of instructions.");
    c.def("is_empty", [](const PyCirc& s) { return Read(s)->is_empty(); }, "Returns whether the circuit is empty.");
    c.def(
        "instrs_with_swaps", [](const PyCirc& s) { return instrs_to_python(Read(s)->instrs_with_swaps()); },
        "Returns instructions plus swaps needed for stored permutation.");
    c.def(
        "rotate_representative", [](const PyCirc& s) { return Obj<IdentityCirc>(rotate_representative(*Read(s))); },
        "Returns canonical identity representative across rotations/permutations.");
    c.def(
        "__add__", [](const PyCirc& a, const PyCirc& b) { return PyCirc(Read(a)->add(*Read(b))); }, nb::arg("other"),
        nb::is_operator());
    c.def("__len__", [](const PyCirc& s) { return Read(s)->len(); });
    c.def("__getitem__", [](const PyCirc& s, I64 idx) { return PyInstr(Read(s)->at(idx)); }, nb::arg("idx"));
    // Indexing wraps around, so the sequence protocol's fallback iteration would never end: iterate the
    // instructions once instead.
    c.def("__iter__", [](const PyCirc& s) { return nb::iter(nb::cast(instrs_to_python(Read(s)->instrs))); });
    c.def("__str__", [](const PyCirc& s) { return Read(s)->str(); });
    c.def("__repr__", [](const PyCirc& s) { return Read(s)->debug(); });
    c.def("__hash__", [](const PyCirc& s) { return reduce_hash(Read(s)->hash_value()); });
    def_equality<Circ>(c);
    def_ordering<Circ>(c);
    finish_class(c, {.equality = true, .hashable = true});
}

}  // namespace tandrel::py
