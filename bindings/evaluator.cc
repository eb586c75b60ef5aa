// Python class Evaluator: the two fixed random states of a search, mapping circuits to equivalence keys.
#include "search/evaluator.h"

#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "classes.h"
#include "conventions.h"
#include "instr_list.h"
#include "permut32_caster.h"

namespace tandrel::py {

namespace {
using PyEvaluator = Obj<Evaluator>;
nb::class_<PyEvaluator>* cls = nullptr;
}  // namespace

void declare_evaluator(nb::module_& m) {
    cls = new nb::class_<PyEvaluator>(
        m, "Evaluator",
        "Evaluator(nqubits)\n--\n\nRandomized evaluator used to hash circuits and recover permutation metadata.");
}

void define_evaluator() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyEvaluator* self, U32 nqubits) {
            if (nqubits.v > Evaluator::MAX_QUBITS)
                throw std::invalid_argument("Evaluator supports at most 8 qubits, got " + std::to_string(nqubits.v));
            Rng rng = Rng::from_os();
            new (self) PyEvaluator(Evaluator::from_random(rng, nqubits));
        },
        nb::arg("nqubits"), "Creates a random evaluator for `nqubits`.");
    c.def("nqubits", [](const PyEvaluator& e) { return Read(e)->nqubits(); }, "Returns evaluator qubit count.");
    c.def(
        "evaluate",
        [](const PyEvaluator& e, const std::vector<Obj<Instr32>>& instrs) {
            const std::vector<Instr32> circuit = instrs_from_python(instrs);
            EvalScratch& s = Evaluator::thread_scratch();
            Read(e)->evaluate_into(circuit, s);
            return nb::make_tuple(Obj<StateVec>(s.best), s.pairs.front().first, s.pairs.front().second,
                                  Obj<StateVec>(s.forward));
        },
        nb::arg("instrs"), "Python wrapper for circuit evaluation.");
    c.def(
        "initial_key", [](const PyEvaluator& e) { return Read(e)->initial_key(); },
        "Hash key for the empty circuit under this evaluator.");
    def_equality<Evaluator>(c);
    finish_class(c, {.equality = true});
}

}  // namespace tandrel::py
