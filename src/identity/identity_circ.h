// Identity circuits: circuits whose instructions followed by their permutation act as the identity up to a global
// phase. They are the unit the identity prover works on; canonical ones come from `rotate_representative`.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "circuit/circ.h"

namespace tandrel {

/// A circuit that equals the identity, never changed once made. Made by the checking constructor `unchecked`
/// (which runs `check`), or taken as it stands by `wrap` for values read back from their stored forms.
/// Equality and order are those of the inner circuit; `hash_value` is stable across processes.
struct IdentityCirc {
    /// The wrapped circuit.
    Circ circ;

    /// Wraps the circuit unchanged, then runs `check`; a circuit that is not the identity fails there.
    static IdentityCirc unchecked(Circ c);
    /// The empty placeholder: no instructions, the permutation of raw value 0; not checked.
    static IdentityCirc make() { return IdentityCirc{Circ::from_parts({}, Permut32{})}; }
    /// Wraps the circuit as it stands, without `check`.
    static IdentityCirc wrap(Circ c) { return IdentityCirc{std::move(c)}; }

    /// The wrapped circuit.
    const Circ& inner() const { return circ; }
    /// The permutation's length.
    uint8_t nqubits() const { return circ.nqubits(); }
    /// Number of instructions.
    size_t len() const { return circ.len(); }
    /// The instruction at `idx` modulo the length (see `Circ::at`).
    Instr32 at(int64_t idx) const { return circ.at(idx); }

    /// Meet-in-the-middle test on one random state drawn from a fresh generator: the first half of the
    /// instructions applied forwards against the permutation's inverse and the second half's adjoints applied
    /// backwards, compared by loose equality after phase canonicalisation. Returns true, or fails with
    /// "IdentityCirc: circuit is not identity <a> <b> <circuit>". A permutation that is not well formed for the
    /// qubit count fails "assertion failed: perm.is_valid()" before any state is touched.
    bool check() const;

    /// SipHash-1-3 (zero keys) of: the instruction count (4 bytes), then per instruction its gate handle
    /// (2 bytes), the value 2 (4 bytes) and its two stored qubit bytes, then the permutation's word (4 bytes);
    /// all little-endian.
    uint64_t hash_value() const;

    /// For each qubit argument of instruction `gate_id`, the index of the next instruction (cyclically, the
    /// instruction itself last) that uses that qubit. `gate_id` at or beyond the length is an index failure.
    std::vector<size_t> qargs_forward(size_t gate_id) const;
    /// For each qubit argument of instruction `gate_id`, the index of the previous instruction (cyclically, the
    /// instruction itself last) that uses that qubit, scanning the circuit rotated by `gate_id` as it stands.
    std::vector<size_t> qargs_backward(size_t gate_id) const;

    /// "Identity { h(0) h(0) (0) }".
    std::string str() const;
    /// "IdentityCirc(" + the inner circuit's debug form + ")".
    std::string debug() const;

    friend bool operator==(const IdentityCirc&, const IdentityCirc&) = default;
    friend std::strong_ordering operator<=>(const IdentityCirc& a, const IdentityCirc& b) { return a.circ <=> b.circ; }
};

/// The canonical identity of a circuit over qubit relabellings and cyclic rotations (`Circ::rotation_canonical`),
/// wrapped by `IdentityCirc::unchecked` and so checked.
IdentityCirc rotate_representative(const Circ& c);

/// The number of entries of `COMBINATIONS`.
inline constexpr size_t COMBINATIONS_LEN = 20;

/// Entry n of `COMBINATIONS` (n below 20, else an index failure): for k = 0 .. n/2 + 1 (and at most n), every
/// k-element subset of {0, .., n-1} in ascending member order, subsets of one size in lexicographic order. The
/// table is built on first use from any thread and shared read-only afterwards.
std::span<const std::vector<uint8_t>> combinations(size_t n);

}  // namespace tandrel
