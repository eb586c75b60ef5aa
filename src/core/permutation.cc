#include "core/permutation.h"

#include <array>
#include <vector>

#include "core/fmt.h"
#include "core/panic.h"

namespace tandrel {

namespace detail {

void panic_permutation_length() { panic("Permutation length must be less than or equal to 8"); }
void panic_permutation_value_bound() { panic("Permutation values must be less than 8"); }
void panic_permutation_not_unique() { panic("Permutation values must be unique"); }
void panic_permutation_partial() { panic("Permutation values must be less than the permutation length"); }

}  // namespace detail

namespace {

// The SWAP sorting networks by length, each applied in table order.
constexpr Transposition NETWORK_2[] = {{0, 1}};
constexpr Transposition NETWORK_3[] = {{0, 2}, {0, 1}, {1, 2}};
constexpr Transposition NETWORK_4[] = {{0, 2}, {1, 3}, {0, 1}, {2, 3}, {1, 2}};
constexpr Transposition NETWORK_5[] = {{0, 3}, {1, 4}, {0, 2}, {1, 3}, {0, 1}, {2, 4}, {1, 2}, {3, 4}, {2, 3}};
constexpr Transposition NETWORK_6[] = {{0, 5}, {1, 3}, {2, 4}, {1, 2}, {3, 4}, {0, 3},
                                       {2, 5}, {0, 1}, {2, 3}, {4, 5}, {1, 2}, {3, 4}};
constexpr Transposition NETWORK_7[] = {{0, 6}, {2, 3}, {4, 5}, {0, 2}, {1, 4}, {3, 6}, {0, 1}, {2, 5},
                                       {3, 4}, {1, 2}, {4, 6}, {2, 3}, {4, 5}, {1, 2}, {3, 4}, {5, 6}};
constexpr Transposition NETWORK_8[] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6},
                                       {3, 7}, {0, 1}, {2, 3}, {4, 5}, {6, 7}, {2, 4}, {3, 5},
                                       {1, 4}, {3, 6}, {1, 2}, {3, 4}, {5, 6}};

constexpr std::array<std::span<const Transposition>, Permut32::MAX_LEN + 1> SORTING_NETWORKS = {
    std::span<const Transposition>(),
    std::span<const Transposition>(),
    NETWORK_2,
    NETWORK_3,
    NETWORK_4,
    NETWORK_5,
    NETWORK_6,
    NETWORK_7,
    NETWORK_8,
};

/// Every permutation of every length 0 .. 8, row after row, with the start of each row.
struct PermutationTable {
    std::vector<Permut32> entries;
    std::array<size_t, Permut32::MAX_LEN + 2> row_start{};
};

/// Appends the n! permutations of length n in the order of the iterative form of Heap's algorithm.
void append_heap_order(std::vector<Permut32>& out, uint8_t n) {
    std::array<uint8_t, Permut32::MAX_LEN> d{};
    std::array<uint8_t, Permut32::MAX_LEN> c{};
    for (uint8_t i = 0; i < n; ++i) d[i] = i;
    auto emit = [&] {
        Permut32 p{uint32_t(n) << Permut32::LEN_SHIFT};
        for (uint32_t i = 0; i < n; ++i) p.raw |= uint32_t(d[i]) << (Permut32::ENTRY_BITS * i);
        out.push_back(p);
    };
    emit();
    size_t k = 0;
    while (k + 1 < n) {
        if (c[k] <= k) {
            const size_t j = k % 2 == 0 ? c[k] : 0;
            std::swap(d[j], d[k + 1]);
            ++c[k];
            k = 0;
            emit();
        } else {
            c[k] = 0;
            ++k;
        }
    }
}

const PermutationTable& all_permutations_table() {
    static const PermutationTable ALL_PERMUTATIONS = [] {
        PermutationTable t;
        t.entries.reserve(46234);  // 0! + 1! + ... + 8!
        for (uint8_t n = 0; n <= Permut32::MAX_LEN; ++n) {
            t.row_start[n] = t.entries.size();
            append_heap_order(t.entries, n);
        }
        t.row_start[Permut32::MAX_LEN + 1] = t.entries.size();
        return t;
    }();
    return ALL_PERMUTATIONS;
}

}  // namespace

std::span<const Transposition> sorting_network(size_t n) {
    check_index(n, SORTING_NETWORKS.size());
    return SORTING_NETWORKS[n];
}

std::span<const Permut32> Permut32::all(size_t n) {
    check_index(n, MAX_LEN + 1);
    const PermutationTable& t = all_permutations_table();
    return std::span<const Permut32>(t.entries).subspan(t.row_start[n], t.row_start[n + 1] - t.row_start[n]);
}

bool Permut32::is_valid() const {
    const uint32_t n = len();
    if ((raw & RESERVED_BITS) != 0 || n > MAX_LEN || (raw & ~entries_mask(n) & ((1u << LEN_SHIFT) - 1)) != 0)
        return false;
    uint32_t seen = 0;
    for (uint32_t i = 0; i < n; ++i) seen |= 1u << at(i);
    return seen == (1u << n) - 1;
}

std::string Permut32::str() const {
    std::string out = "(";
    fjoin(out, begin(), end(), " ");
    out += ')';
    return out;
}

std::pair<Permut32, Permut32> coordinate_permute(Permut32 a, Permut32 b) {
    auto extend = [](Permut32 p, uint8_t n) {
        for (uint8_t k = p.len(); k < n; ++k) p.set(k, k);
        p.raw = (p.raw & ~(Permut32::LEN_MASK << Permut32::LEN_SHIFT)) | (uint32_t(n) << Permut32::LEN_SHIFT);
        return p;
    };
    if (a.len() < b.len()) return {extend(a, b.len()), b};
    if (b.len() < a.len()) return {a, extend(b, a.len())};
    return {a, b};
}

}  // namespace tandrel
