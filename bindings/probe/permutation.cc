// Probes of the qubit permutations; every permutation argument goes through the Python conversion.
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <compare>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "conventions.h"
#include "core/parallel.h"
#include "core/permutation.h"
#include "core/siphash.h"
#include "permut32_caster.h"
#include "probe/probe.h"

namespace tandrel::probe {

namespace nb = nanobind;
using py::U32;
using py::U8;
using py::Usize;

namespace {

std::vector<std::pair<int, int>> pairs(std::span<const Transposition> ts) {
    std::vector<std::pair<int, int>> out;
    for (Transposition t : ts) out.emplace_back(t.a, t.b);
    return out;
}

std::vector<uint8_t> bytes(const std::vector<U8>& values) { return {values.begin(), values.end()}; }

}  // namespace

void probe_permutation(nb::module_& m) {
    m.def("perm_convert", [](Permut32 p) { return p; });
    m.def("perm_raw", [](Permut32 p) { return p.raw; });
    m.def("perm_str", [](Permut32 p) { return p.str(); });
    m.def("perm_str_raw", [](U32 raw) { return Permut32{raw}.str(); });
    m.def("perm_is_valid_raw", [](U32 raw) { return Permut32{raw}.is_valid(); });
    m.def("perm_identity", [](U8 n) { return Permut32::identity(n); });
    m.def("perm_from_iter_unchecked_raw",
          [](const std::vector<U8>& values) { return Permut32::from_iter_unchecked(bytes(values)).raw; });
    m.def("perm_from_iter_with_ext",
          [](U8 n, const std::vector<U8>& values) { return Permut32::from_iter_with_ext(n, bytes(values)); });
    m.def("perm_len", [](Permut32 p) { return p.len(); });
    m.def("perm_at", [](Permut32 p, Usize i) { return p.at(i); });
    m.def("perm_set_raw", [](Permut32 p, Usize i, U8 v) {
        p.set(i, v);
        return p.raw;
    });
    // The entries through the iterator's own `next`.
    m.def("perm_iter", [](Permut32 p) {
        std::vector<int> out;
        Permut32Iter it = p.iter();
        while (auto v = it.next()) out.push_back(*v);
        return out;
    });
    m.def("perm_mul", [](Permut32 p, Permut32 q) { return p * q; });
    m.def("perm_inv", [](Permut32 p) { return p.inv(); });
    m.def("perm_inverse", [](Permut32 p) { return p.inverse(); });
    m.def("perm_permut_bv", [](Permut32 p, U8 mask) { return p.permut_bv(mask); });
    m.def("perm_is_identity", [](Permut32 p) { return p.is_identity(); });
    m.def("perm_coordinate_permute", [](Permut32 a, Permut32 b) { return coordinate_permute(a, b); });
    // The SWAPs both through `next` and through the range form, which must agree.
    m.def("perm_generate_swaps", [](Permut32 p) {
        std::vector<Transposition> by_next, by_range;
        SwapIter it = p.generate_swaps();
        while (auto t = it.next()) by_next.push_back(*t);
        for (Transposition t : p.generate_swaps()) by_range.push_back(t);
        if (by_next != by_range) panic("swap iteration forms disagree");
        return pairs(by_next);
    });
    m.def("perm_sorting_network", [](Usize n) { return pairs(sorting_network(n)); });
    m.def("perm_all", [](Usize n) {
        std::span<const Permut32> row = Permut32::all(n);
        return std::vector<Permut32>(row.begin(), row.end());
    });
    // Reads rows on every worker of the pool at once; as the first use in a fresh process this races the
    // one-time construction of the table. Task i reads row i % 9 and reports (row, size, address of the row's
    // storage, sum of its words).
    m.def("perm_all_rows_in_parallel", [](Usize tasks) {
        return parallel_map(tasks, [](size_t i) {
            const size_t n = i % (Permut32::MAX_LEN + 1);
            std::span<const Permut32> row = Permut32::all(n);
            uint64_t sum = 0;
            for (Permut32 p : row) sum += p.raw;
            return std::make_tuple(n, row.size(), reinterpret_cast<uintptr_t>(row.data()), sum);
        });
    });
    m.def("perm_cmp", [](Permut32 a, Permut32 b) {
        auto c = a <=> b;
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    });
    m.def("perm_eq", [](Permut32 a, Permut32 b) { return a == b; });
    m.def("perm_hash", [](Permut32 p) {
        SipHasher13 h;
        p.hash_into(h);
        return h.finish();
    });
}

}  // namespace tandrel::probe
