// Python class RawECCs: the raw table of a search, seen from Python only through its methods.
#include "search/raw_eccs.h"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/vector.h>

#include <memory>
#include <vector>

#include "classes.h"
#include "conventions.h"
#include "instr_list.h"

namespace tandrel::py {

namespace {
using PyRawECCs = Obj<RawECCs>;
using PyEvaluator = Obj<Evaluator>;
nb::class_<PyRawECCs>* cls = nullptr;

std::vector<Gate16> gates_from_python(const std::vector<Obj<Gate16>>& gates) {
    std::vector<Gate16> out;
    out.reserve(gates.size());
    for (const auto& g : gates) out.push_back(*Read(g));
    return out;
}

/// The Python result of a search: (the table, [explored, evaluated, inserted]).
using SearchResult = nb::typed<nb::tuple, PyRawECCs, nb::typed<nb::list, int>>;

/// A new Python table that the table moves into rather than being copied.
nb::typed<nb::object, PyRawECCs> table_object(RawECCs table) {
    auto owned = std::make_unique<PyRawECCs>(std::move(table));
    nb::object obj = nb::cast(owned.get(), nb::rv_policy::take_ownership);
    owned.release();
    return nb::typed<nb::object, PyRawECCs>(obj);
}

/// Search options that let Ctrl-C (or any pending signal handler that raises) stop a search at its next
/// progress line.
SearchOptions interruptible() {
    SearchOptions o;
    o.on_progress = [] {
        if (PyErr_CheckSignals() != 0) throw nb::python_error();
    };
    return o;
}

SearchResult search_result(std::pair<RawECCs, SearchCounters> result) {
    nb::object table = table_object(std::move(result.first));
    nb::list counters;
    for (size_t c : result.second) counters.append(c);
    return SearchResult(nb::make_tuple(table, counters));
}
}  // namespace

void declare_raw_eccs(nb::module_& m) {
    cls = new nb::class_<PyRawECCs>(m, "RawECCs",
                                    "RawECCs(evaluator)\n--\n\nMutable ECC map keyed by evaluator hash.\n\nThis is "
                                    "the direct output of the search algorithm before final simplification.");
}

void define_raw_eccs() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyRawECCs* self, const PyEvaluator& evaluator) { new (self) PyRawECCs(RawECCs::make(*Read(evaluator))); },
        nb::arg("evaluator"), "Initializes the raw map with the empty circuit class.");
    c.def_static(
        "search",
        [](const PyEvaluator& evaluator, const std::vector<Obj<Instr32>>& instrs, Usize max_size) {
            return search_result(RawECCs::search(*Read(evaluator), instrs_from_python(instrs), max_size, interruptible()));
        },
        nb::arg("evaluator"), nb::arg("instrs"), nb::arg("max_size"),
        "Optimized search using permutation-equivalent placements per circuit.");
    c.def_static(
        "search_naive",
        [](const PyEvaluator& evaluator, const std::vector<Obj<Instr32>>& instrs, Usize max_size) {
            return search_result(RawECCs::search_naive(*Read(evaluator), instrs_from_python(instrs), max_size, interruptible()));
        },
        nb::arg("evaluator"), nb::arg("instrs"), nb::arg("max_size"),
        "Exhaustive baseline search without permutation-based multiplicity reduction.");
    c.def_static(
        "generate",
        [](const PyEvaluator& evaluator, const std::vector<Obj<Gate16>>& gates, Usize max_size) {
            return search_result(RawECCs::generate(*Read(evaluator), gates_from_python(gates), max_size, interruptible()));
        },
        nb::arg("evaluator"), nb::arg("gates"), nb::arg("max_size"),
        "Generates ECCs from a gate set using the optimized search.\n\nAdjoint gates are added automatically if "
        "missing.");
    c.def_static(
        "generate_naive",
        [](const PyEvaluator& evaluator, const std::vector<Obj<Gate16>>& gates, Usize max_size) {
            return search_result(RawECCs::generate_naive(*Read(evaluator), gates_from_python(gates), max_size, interruptible()));
        },
        nb::arg("evaluator"), nb::arg("gates"), nb::arg("max_size"),
        "Generates ECCs from a gate set using the naive search.");
    c.def("simplify", [](const PyRawECCs& r) { return Obj<ECCs>(Read(r)->simplify()); },
          "Converts raw buckets into sorted, normalized ECCs.");
    c.def(
        "find_equivalents",
        [](const PyRawECCs& r, const PyEvaluator& evaluator, const std::vector<Obj<Instr32>>& instrs) {
            std::optional<ECC> e = Read(r)->find_equivalents(*Read(evaluator), instrs_from_python(instrs));
            return e ? std::optional<Obj<ECC>>(Obj<ECC>(std::move(*e))) : std::nullopt;
        },
        nb::arg("evaluator"), nb::arg("instrs"), "Python wrapper returning equivalent circuits for a candidate program.");
    c.def(
        "compute_next_key",
        [](const PyRawECCs& r, const PyEvaluator& evaluator, U64 current_key, const Obj<Instr32>& instr) {
            return Read(r)->compute_next_key(*Read(evaluator), current_key, *Read(instr));
        },
        nb::arg("evaluator"), nb::arg("current_key"), nb::arg("instr"),
        "Computes the next reachable ECC hash after appending one instruction.\n\nReturns `None` when the "
        "resulting state was not discovered in this map.");
    c.def(
        "switch_evaluator",
        [](const PyRawECCs& r, const PyEvaluator& evaluator) {
            return table_object(Read(r)->switch_evaluator(*Read(evaluator)));
        },
        nb::arg("new_evaluator"),
        "Re-evaluates all stored circuits under a new evaluator.\n\nUseful for cross-checking "
        "evaluator-independence of discovered classes.");
    finish_class(c, {});
}

}  // namespace tandrel::py
