// The parallel pool: OpenMP worker threads, one per core. Every parallel section goes through these two
// functions. Results keep input order; the exception of the lowest failing index is re-thrown on the caller
// once all workers have stopped (later tasks are skipped as soon as one fails).
#pragma once

#include <omp.h>

#include <atomic>
#include <cstddef>
#include <exception>
#include <optional>
#include <type_traits>
#include <vector>

namespace tandrel {

/// Number of worker threads of a parallel section: one per processor.
inline int pool_threads() {
    static const int n = omp_get_num_procs() > 0 ? omp_get_num_procs() : 1;
    return n;
}

/// Runs `f(i)` for every i in [0, n) on the pool. Tasks must touch plain values only.
template <class F>
void parallel_for(size_t n, F&& f) {
    if (n == 0) return;
    std::atomic<bool> failed{false};
    std::vector<std::exception_ptr> errors;
    size_t first_error = n;
    const int threads = n == 1 ? 1 : pool_threads();
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (size_t i = 0; i < n; ++i) {
        if (failed.load(std::memory_order_relaxed)) continue;
        try {
            f(i);
        } catch (...) {
#pragma omp critical(tandrel_parallel_error)
            {
                if (i < first_error) {
                    first_error = i;
                    errors.assign(1, std::current_exception());
                }
            }
            failed.store(true, std::memory_order_relaxed);
        }
    }
    if (!errors.empty()) std::rethrow_exception(errors.front());
}

/// Ordered parallel map: element i of the result is `f(i)`.
template <class F>
auto parallel_map(size_t n, F&& f) -> std::vector<std::invoke_result_t<F&, size_t>> {
    using R = std::invoke_result_t<F&, size_t>;
    std::vector<std::optional<R>> slots(n);
    parallel_for(n, [&](size_t i) { slots[i].emplace(f(i)); });
    std::vector<R> out;
    out.reserve(n);
    for (auto& s : slots) out.push_back(std::move(*s));
    return out;
}

}  // namespace tandrel
