// Probe functions of circuits, their object form and identity circuits, and the timing loops of the canonical
// forms.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <chrono>
#include <optional>
#include <vector>

#include "circuit/circ.h"
#include "conventions.h"
#include "identity/identity_circ.h"
#include "object_form.h"
#include "instr_list.h"
#include "probe/probe.h"

namespace nb = nanobind;

namespace tandrel::probe {

namespace {

using PyCirc = py::Obj<Circ>;
using PyIdentity = py::Obj<IdentityCirc>;

template <class F>
double ns_per_call(size_t iters, F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < iters; ++i) f();
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / double(iters);
}

volatile size_t sink;

/// The canonical forms as the plain composition of the circuit operations, one fresh circuit per candidate: the
/// baseline the benchmark compares the buffered search with.
Circ plain_representative(const Circ& circ) {
    const Circ c = circ.compact_qubits().remove_swaps();
    if (c.is_empty()) return c;
    std::optional<Circ> best;
    for (const Permut32 s : Permut32::all(c.nqubits())) {
        Circ cand = c.permut(s).reorder_instrs().compact_qubits();
        if (!best || cand < *best) best = std::move(cand);
    }
    return *best;
}

Circ plain_rotation_canonical(const Circ& circ) {
    const Circ c = circ.compact_qubits().remove_swaps();
    if (c.is_empty()) return c;
    std::optional<Circ> best;
    for (const Permut32 s : Permut32::all(c.nqubits())) {
        const Circ d = c.permut(s);
        for (size_t i = 0; i < d.len(); ++i) {
            if (!d.instrs[i].qargs.contains(0)) continue;
            Circ cand = d.rotate(int64_t(i)).reorder_instrs().compact_qubits();
            if (!best || cand < *best) best = std::move(cand);
        }
    }
    return *best;
}

}  // namespace

void probe_identity(nb::module_& m) {
    m.def("circ_compact_qubits", [](const PyCirc& c) { return PyCirc(c.value.compact_qubits()); });
    m.def("circ_reorder_instrs", [](const PyCirc& c) { return PyCirc(c.value.reorder_instrs()); });
    m.def("circ_affected_qubits", [](const PyCirc& c) { return c.value.affected_qubits(); });
    // A circuit of the given instructions and permutation word, stored without any check.
    m.def("circ_from_parts", [](const std::vector<py::Obj<Instr32>>& instrs, uint32_t raw) {
        return PyCirc(Circ::from_parts(py::instrs_from_python(instrs), Permut32{raw}));
    });
    m.def("circ_perm_raw", [](const PyCirc& c) { return c.value.perm.raw; });
    m.def("circ_to_object", [](const PyCirc& c) { return py::circ_to_object(c.value); });
    m.def("circ_from_object", [](nb::handle obj) { return PyCirc(py::circ_from_object(obj)); }, nb::arg("obj").none());

    m.def("identity_placeholder", [] { return PyIdentity(IdentityCirc::make()); });
    m.def("identity_wrap", [](const PyCirc& c) { return PyIdentity(IdentityCirc::wrap(c.value)); });
    m.def("combinations", [](size_t n) {
        const auto entry = combinations(n);
        return std::vector<std::vector<uint8_t>>(entry.begin(), entry.end());
    });

    m.def("plain_representative", [](const PyCirc& c) { return PyCirc(plain_representative(c.value)); });
    m.def("plain_rotation_canonical", [](const PyCirc& c) { return PyCirc(plain_rotation_canonical(c.value)); });

    // Nanoseconds per canonical form of one circuit: `representative`, the rotation search alone,
    // `rotate_representative` (the search followed by the randomized check), and the plain compositions.
    m.def("bench_canonical", [](const PyCirc& c, size_t iters) {
        const Circ& circ = c.value;
        nb::dict out;
        out["representative"] = ns_per_call(iters, [&] { sink = circ.representative().len(); });
        out["rotation_canonical"] = ns_per_call(iters, [&] { sink = circ.rotation_canonical().len(); });
        out["rotate_representative"] = ns_per_call(iters, [&] { sink = rotate_representative(circ).len(); });
        out["check"] = ns_per_call(iters, [&] { sink = IdentityCirc::wrap(circ).check(); });
        out["plain_representative"] = ns_per_call(iters, [&] { sink = plain_representative(circ).len(); });
        out["plain_rotation_canonical"] = ns_per_call(iters, [&] { sink = plain_rotation_canonical(circ).len(); });
        return out;
    });
}

}  // namespace tandrel::probe
