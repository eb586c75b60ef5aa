// Probe functions of the simulation layer: permutation of states, order information, the tie table, and the
// C++-side timing of evaluation.
#include <nanobind/stl/pair.h>
#include <nanobind/stl/vector.h>

#include <chrono>
#include <vector>

#include "circuit/instr.h"
#include "conventions.h"
#include "core/siphash.h"
#include "permut32_caster.h"
#include "instr_list.h"
#include "probe/probe.h"
#include "search/evaluator.h"
#include "state/kernels.h"
#include "state/order_info.h"

namespace nb = nanobind;

namespace tandrel::probe {

namespace {
using py::Obj;
using py::Read;
using py::Write;

template <class F>
double ns_per_call(size_t iters, F&& f) {
    auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < iters; ++i) f();
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / double(iters);
}

volatile uint64_t sink;

/// SipHash of the exact bits of both parts: unlike `hash_value`, it sees every last bit of every amplitude.
uint64_t bits_digest(const StateVec& s) {
    SipHasher13 h;
    h.write(s.re.data(), s.re.size() * sizeof(Qreal));
    h.write(s.im.data(), s.im.size() * sizeof(Qreal));
    return h.finish();
}

/// (key, pairs, exact digest of B, exact digest of F) of the last evaluation left in `s`.
nb::tuple evaluation_record(const EvalScratch& s) {
    return nb::make_tuple(s.best.hash_value(), s.pairs, bits_digest(s.best), bits_digest(s.forward));
}
}  // namespace

void probe_state(nb::module_& m) {
    m.def("apply_permutation", [](Obj<StateVec>& s, Permut32 p) {
        Write w(s);
        reserve_state_vec_cache(w->nqubits());
        apply_permutation(*w, p);
    });
    m.def("multiply", [](Obj<StateVec>& s, const std::vector<uint8_t>& qargs, const Obj<Gate16>& g) {
        Write w(s);
        Read(g)->matrix([&](const DenseMatrix& mat) { multiply(*w, qargs.data(), qargs.size(), mat); });
    });
    m.def("has_kernel", [](const Obj<Gate16>& g) { return gate_kernel(*Read(g)) != nullptr; });
    m.def("orderinfo", [](const Obj<StateVec>& s) {
        OrderInfo o = get_orderinfo(*Read(s));
        std::vector<size_t> permut(o.permut.begin(), o.permut.begin() + o.n);
        std::vector<size_t> classes(o.eq_classes.begin(), o.eq_classes.begin() + o.nclasses);
        auto [b, mask] = o.as_bits();
        std::vector<Permut32> perms;
        o.for_each_perm([&](Permut32 p) { perms.push_back(p); });
        return nb::make_tuple(permut, classes, b, mask, perms);
    });
    m.def("get_permutation", [](const Obj<StateVec>& s) { return get_permutation(*Read(s)); });
    m.def("eqmask_to_perms", [](size_t mask) {
        auto row = eqmask_to_perms(mask);
        return std::vector<Permut32>(row.begin(), row.end());
    });
    m.def("evaluate_pairs", [](const Obj<Evaluator>& e, const std::vector<Obj<Instr32>>& instrs) {
        EvalScratch& s = Evaluator::thread_scratch();
        Read(e)->evaluate_into(py::instrs_from_python(instrs), s);
        return s.pairs;
    });
    // The evaluator drawn from a generator of a fixed seed.
    m.def("seeded_evaluator", [](uint64_t seed, uint32_t n) {
        Rng rng = Rng::from_seed(seed);
        return Obj<Evaluator>(Evaluator::from_random(rng, n));
    });
    // The evaluation of `instrs` under the evaluator of a fixed seed, from scratch and (for a non-empty circuit)
    // as the extension of its prefix: each as (key, pairs, exact digest of B, exact digest of F).
    m.def("evaluate_seeded", [](uint64_t seed, uint32_t n, const std::vector<Obj<Instr32>>& instrs) {
        Rng rng = Rng::from_seed(seed);
        const Evaluator e = Evaluator::from_random(rng, n);
        const std::vector<Instr32> circuit = py::instrs_from_python(instrs);
        EvalScratch s;
        e.evaluate_into(circuit, s);
        nb::tuple whole = evaluation_record(s);
        if (circuit.empty()) return nb::make_tuple(whole, nb::none());
        StateVec prefix = e.initial_state;
        apply_instrs(prefix, std::span(circuit).first(circuit.size() - 1));
        EvalScratch x;
        e.evaluate_extension_into(prefix, circuit, x);
        return nb::make_tuple(whole, evaluation_record(x));
    });
    m.def("evaluator_states", [](const Obj<Evaluator>& e) {
        return nb::make_tuple(Obj<StateVec>(Read(e)->initial_state), Obj<StateVec>(Read(e)->backtrack_state));
    });

    // ns per evaluation, and per bare forward-and-backward application of the same gates.
    m.def("bench_evaluate", [](uint32_t n, const std::vector<Obj<Instr32>>& instrs, size_t iters) {
        Rng rng = Rng::from_seed(7);
        const Evaluator e = Evaluator::from_random(rng, n);
        const std::vector<Instr32> circuit = py::instrs_from_python(instrs);
        EvalScratch scratch;
        e.evaluate_into(circuit, scratch);  // warm-up: adjoints registered, scratch sized
        nb::dict out;
        out["evaluate"] = ns_per_call(iters, [&] {
            e.evaluate_into(circuit, scratch);
            sink = scratch.best.re.size();
        });
        StateVec s = e.initial_state;
        out["bare"] = ns_per_call(iters, [&] {
            apply_instrs(s, circuit);
            apply_adjoint_instrs(s, circuit);
            sink = s.re.size();
        });
        out["hash"] = ns_per_call(iters, [&] { sink = scratch.best.hash_value(); });
        return out;
    });
}

}  // namespace tandrel::probe
