// Python classes ECC and ECCs: finished equivalence classes and their collections, with the Quartz export.
#include "search/eccs.h"

#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <string>
#include <vector>

#include "classes.h"
#include "conventions.h"
#include "instr_list.h"
#include "identity/class_identities.h"
#include "search/quartz_json.h"

namespace tandrel::py {

namespace {
using PyECC = Obj<ECC>;
using PyECCs = Obj<ECCs>;
nb::class_<PyECC>* ecc_cls = nullptr;
nb::class_<PyECCs>* eccs_cls = nullptr;

std::vector<std::vector<Obj<Instr32>>> to_python(const std::vector<std::vector<Instr32>>& circuits) {
    std::vector<std::vector<Obj<Instr32>>> out;
    out.reserve(circuits.size());
    for (const auto& c : circuits) out.push_back(instrs_to_python(c));
    return out;
}

std::vector<PyECC> copies(const std::vector<ECC>& eccs) {
    std::vector<PyECC> out;
    out.reserve(eccs.size());
    for (const ECC& e : eccs) out.emplace_back(e);
    return out;
}

/// A path argument: a str or an os.PathLike whose path is a str, as the bytes the file system sees. Like
/// open(), it encodes with the file system encoding (undecodable bytes of a name come back from their surrogate
/// escapes) and refuses an embedded null byte with ValueError rather than cutting the path short.
std::string path_argument(nb::handle filepath) {
    PyObject* p = PyOS_FSPath(filepath.ptr());
    if (!p) throw nb::python_error();
    nb::object path = nb::steal(p);
    if (!PyUnicode_Check(path.ptr())) throw nb::type_error("filepath must be a str or an os.PathLike of str");
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &encoded)) throw nb::python_error();
    nb::object owner = nb::steal(encoded);
    return std::string(PyBytes_AS_STRING(encoded), size_t(PyBytes_GET_SIZE(encoded)));
}
}  // namespace

void declare_ecc(nb::module_& m) { ecc_cls = new nb::class_<PyECC>(m, "ECC", "One equivalence class of circuits."); }

void declare_eccs(nb::module_& m) {
    eccs_cls = new nb::class_<PyECCs>(m, "ECCs", "Collection of equivalence classes for a fixed number of qubits.");
}

void define_ecc() {
    auto& c = *ecc_cls;
    c.def(
        "circuits", [](const PyECC& e) { return to_python(Read(e)->circuits()); },
        "Returns all circuits in this class with swap instructions materialized.");
    def_equality<ECC>(c);
    def_str<ECC>(c);
    finish_class(c, {.equality = true, .constructible = false});
}

void define_eccs() {
    auto& c = *eccs_cls;
    c.def("__len__", [](const PyECCs& e) { return Read(e)->len(); });
    c.def_prop_ro("nqubits", [](const PyECCs& e) { return Read(e)->nqubits; });
    c.def("check", [](const PyECCs& e) { return copies(Read(e)->check()); },
          "Returns classes that fail randomized equivalence checks.");
    c.def("to_list", [](const PyECCs& e) { return copies(Read(e)->eccs); }, "Returns all classes as a Python list.");
    c.def("filter_single", [](const PyECCs& e) { return PyECCs(Read(e)->filter_single()); },
          "Removes classes with only one circuit.");
    c.def(
        "to_identity_circuits",
        [](const PyECCs& e) {
            nb::list out;
            for (auto& [identity, first_inv, other] : to_identity_circuits(*Read(e)))
                out.append(nb::make_tuple(Obj<IdentityCirc>(std::move(identity)), Obj<Circ>(std::move(first_inv)),
                                          Obj<Circ>(std::move(other))));
            return out;
        },
        "Converts classes into canonical identities plus witness circuit pairs.");
    c.def(
        "dump_quartz", [](const PyECCs& e, nb::handle filepath) { dump_quartz(*Read(e), path_argument(filepath)); },
        nb::arg("filepath"), "Exports ECCs to Quartz JSON format.");
    def_equality<ECCs>(c);
    def_str<ECCs>(c);
    finish_class(c, {.equality = true, .constructible = false});
}

}  // namespace tandrel::py
