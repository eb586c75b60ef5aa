// tandrel._probe: core internals and C++-side timing loops for the tests and benchmarks. Not public API.
// It lives in the extension module's library, so that it shares the process-wide tables (gate registry,
// permutation tables, scratch caches) with the classes, and is placed in sys.modules by the module's
// initialisation rather than being one of the module's attributes.
#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <chrono>

#include "core/parallel.h"
#include "core/panic.h"
#include "core/qreal.h"
#include "core/siphash.h"
#include "state/state_vec.h"
#include "probe/probe.h"

namespace nb = nanobind;
using namespace tandrel;

namespace {

template <class F>
double ns_per_call(size_t iters, F&& f) {
    auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < iters; ++i) f(i);
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / double(iters);
}

volatile uint64_t sink;

}  // namespace

void tandrel::probe::register_probe_module() {
    nb::module_ m = nb::steal<nb::module_>(PyModule_New("tandrel._probe"));
    m.doc() = "Core internals for tests and benchmarks.";
    tandrel::probe::probe_permutation(m);
    tandrel::probe::probe_alias_list(m);
    tandrel::probe::probe_circuit(m);
    tandrel::probe::probe_state(m);
    tandrel::probe::probe_eccs(m);
    tandrel::probe::probe_search(m);
    tandrel::probe::probe_identity(m);

    m.def("qreal_percision_repr", [](double x) { return Qreal(x).percision_repr(); });
    m.def("qreal_eq", [](double a, double b) { return Qreal(a) == Qreal(b); });
    m.def("qreal_lt", [](double a, double b) { return Qreal(a) < Qreal(b); });
    m.def("qreal_near_zero", [](double a) { return Qreal(a).near_zero(); });
    m.def("qreal_loose_eq", [](double a, double b) { return Qreal(a).loose_eq(Qreal(b)); });
    m.def("qreal_str", [](double a, int decimals) { return decimals < 0 ? Qreal(a).str() : Qreal(a).str(decimals); });
    m.def("qreal_add", [](double a, double b) { return (Qreal(a) + Qreal(b)).v; });
    m.def("siphash13", [](nb::bytes data) { return siphash13(data.c_str(), data.size()); });
    m.def("siphash13_chunked", [](const std::vector<nb::bytes>& chunks) {
        SipHasher13 h;
        for (auto& c : chunks) h.write(c.c_str(), c.size());
        return h.finish();
    });

    // Parallel pool: squares in order; the task at `fail_at` throws an internal failure.
    m.def("parallel_squares", [](size_t n, int64_t fail_at) {
        return parallel_map(n, [&](size_t i) -> uint64_t {
            if (int64_t(i) == fail_at) panic("task " + std::to_string(i) + " failed");
            return uint64_t(i) * i;
        });
    });
    m.def("pool_threads", [] { return pool_threads(); });

    m.def("bench_state_vec", [](uint32_t n, size_t iters) {
        Rng rng = Rng::from_seed(1);
        StateVec s = StateVec::from_random(rng, n);
        nb::dict out;
        out["hash_value"] = ns_per_call(iters, [&](size_t) { sink = s.hash_value(); });
        out["normalize_arg"] = ns_per_call(iters, [&](size_t) { s.normalize_arg(); });
        out["random"] = ns_per_call(iters, [&](size_t) { sink = StateVec::from_random(rng, n).re.size(); });
        return out;
    });
    nb::module_::import_("sys").attr("modules")["tandrel._probe"] = m;
}
