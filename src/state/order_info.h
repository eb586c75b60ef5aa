// Amplitude order information: a labelling of a state's qubits that depends only on the state. Every qubit gets
// a sort key read from four amplitudes; qubits are sorted by key, and qubits with equal keys form equality
// classes. The evaluator uses the sorted order to bring states into canonical qubit order, and the tie pattern
// to enumerate the labellings that are equally canonical.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/permutation.h"
#include "state/state_vec.h"

namespace tandrel {

/// Sort key of one qubit: the grid buckets of re/im of the amplitude with only that qubit set, then of the
/// amplitude with every other qubit set. Compared lexicographically.
using QubitKey = std::array<int64_t, 4>;

/// The qubits of a state in sorted key order, with the end positions of the classes of equal keys.
struct OrderInfo {
    /// `permut[k]` is the qubit at sorted position k (first `n` entries used).
    std::array<uint8_t, Permut32::MAX_LEN> permut{};
    /// Exclusive end positions of the equality classes, increasing; the last equals `n`.
    std::array<uint8_t, Permut32::MAX_LEN + 1> eq_classes{};
    uint8_t n = 0;
    uint8_t nclasses = 0;

    /// The identity order of n qubits with one class holding every qubit.
    static OrderInfo make(size_t n);

    /// Sorts the qubits of class c by key (stable) and splits the class where the key changes.
    void sort_eqclass_by_key(size_t c, const QubitKey* keys);

    /// The canonical permutation (entry k = qubit at sorted position k) and the tie mask (bit k-1 set when
    /// sorted positions k-1 and k are tied).
    std::pair<Permut32, uint8_t> as_bits() const;

    /// Calls f(p) for every equally canonical permutation b * q, q from the tie table row of the mask, in row
    /// order. The first candidate is always `as_bits().first`.
    template <class F>
    void for_each_perm(F&& f) const;
};

/// Row `mask` of `EQMASK_TO_PERMS`: every permutation of 8 positions that maps each run of tied positions onto
/// itself, in the order of `ALL_PERMUTATIONS` row 8. Bit j of the 7-bit mask ties positions j and j+1. Rows
/// of masks below 16 list the same permutations, in the same order, as filtering row 5.
std::span<const Permut32> eqmask_to_perms(size_t mask);

/// The order information of a state.
OrderInfo get_orderinfo(const StateVec& s);
/// The canonical permutation of a state: applying its inverse puts the qubit with the k-th smallest key at k.
Permut32 get_permutation(const StateVec& s);

template <class F>
void OrderInfo::for_each_perm(F&& f) const {
    auto [b, mask] = as_bits();
    // Row 0 holds only the identity, and b * identity is b.
    if (mask == 0) return f(b);
    const uint32_t len_bits = uint32_t(n) << Permut32::LEN_SHIFT;
    const uint32_t entries = Permut32::entries_mask(n);
    for (Permut32 q : eqmask_to_perms(mask)) f(b * Permut32{(q.raw & entries) | len_bits});
}

}  // namespace tandrel
