// Python class StateVec: complex state vectors of randomized circuit evaluation.
#include "state/state_vec.h"

#include "circuit/instr.h"
#include "search/evaluator.h"

#include <nanobind/stl/complex.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <complex>

#include "classes.h"
#include "conventions.h"

namespace tandrel::py {

namespace {
using PyStateVec = Obj<StateVec>;
nb::class_<PyStateVec>* cls = nullptr;

constexpr const char* NORMALIZE_DOC =
    "Normalizes the state vector in place.\n\nNormalization ensures two conditions:\n1. Amplitude Normalization: "
    "The sum of the squares of the absolute values of\n   the complex amplitudes is 1 (i.e., `sum(|psi_i|^2) = "
    "1`).\n2. Phase Normalization: The first non-zero element of the state vector\n   is made real and "
    "positive.\n\nIf the vector is effectively all zeros initially (all amplitudes are very close to zero),\nit is "
    "normalized to the |0...0> state (i.e., the first element becomes 1.0 + 0.0i,\nand all other elements become "
    "0.0 + 0.0i).\nIf the vector has zero length, this function does nothing.";
}  // namespace

void declare_state_vec(nb::module_& m) {
    cls = new nb::class_<PyStateVec>(
        m, "StateVec", "StateVec(re, im)\n--\n\nComplex state vector used for randomized circuit evaluation.");
}

void define_state_vec() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyStateVec* self, const std::vector<double>& re, const std::vector<double>& im) {
            new (self) PyStateVec(StateVec::make(re, im));
        },
        nb::arg("re"), nb::arg("im"), "Creates a state vector from real/imaginary coefficient arrays.");
    c.def(
        "hash_value", [](const PyStateVec& s) { return Read(s)->hash_value(); },
        "Hashes the current normalized state.");
    c.def_static(
        "random",
        [](U32 n) {
            Rng rng = Rng::from_os();
            return PyStateVec(StateVec::from_random(rng, n));
        },
        nb::arg("num_qubits"), "Creates a random normalized state.");
    c.def_static(
        "random_symmetric",
        [](U32 n) {
            Rng rng = Rng::from_os();
            return PyStateVec(StateVec::from_random_symmetric(rng, n));
        },
        nb::arg("num_qubits"), "Creates a random state tailored for symmetry-aware evaluator use.");
    c.def("nqubits", [](const PyStateVec& s) { return Read(s)->nqubits(); }, "Returns qubit count.");
    c.def("len", [](const PyStateVec& s) { return Read(s)->len(); }, "Returns vector length (`2^nqubits`).");
    c.def("normalize", [](PyStateVec& s) { Write(s)->normalize(); }, NORMALIZE_DOC);
    c.def(
        "normalize_arg", [](PyStateVec& s) { Write(s)->normalize_arg(); },
        "Canonicalizes global phase for stable equality/hash comparison.");
    c.def(
        "__getitem__",
        [](const PyStateVec& s, Usize index) {
            Qcomplex a = Read(s)->at(index);
            return std::complex<double>(a.re.v, a.im.v);
        },
        nb::arg("index"), "Returns one amplitude as Python `complex`.");
    c.def(
        "__setitem__",
        [](PyStateVec& s, Usize index, std::complex<double> value) {
            Write(s)->set(index, Qcomplex{value.real(), value.imag()});
        },
        nb::arg("index"), nb::arg("value"), "Sets one amplitude from Python `complex`.");
    def_no_delitem<StateVec>(c);
    c.def("clone", [](const PyStateVec& s) { return PyStateVec(*Read(s)); }, "Returns a deep copy.");
    c.def("check", [](const PyStateVec& s) { return Read(s)->check(); }, "Checks unit-norm invariant.");
    c.def(
        "__imul__",
        [](PyStateVec& self, const Obj<Instr32>& other) {
            Instr32 instr = *Read(other);
            apply_instrs(*Write(self), {&instr, 1});
            // The operator's result is the receiver itself, found again from its value.
            return nb::find(&self);
        },
        nb::arg("other"), nb::is_operator(), "In-place application of one instruction.");
    def_equality<StateVec>(c);
    def_str<StateVec>(c);
    finish_class(c, {.equality = true});
}

}  // namespace tandrel::py
