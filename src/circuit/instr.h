// Compact instructions: a gate handle and its qubit arguments in four bytes, the unit the search, the evaluator
// and the prover handle by the million.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "circuit/gate.h"
#include "circuit/qargs.h"
#include "core/permutation.h"
#include "core/siphash.h"

namespace tandrel {

/// A gate on qubits: bytes 0-1 the gate handle, bytes 2-3 the qubit arguments. Equality and hash cover both;
/// the order is by qubit arguments first, then by gate handle (cx(0, 1) < h(0) < x(0) < h(1)).
struct Instr32 {
    /// The gate applied.
    Gate16 gate;
    /// Its qubits in argument order.
    QArgs16 qargs;

    /// Checks that there are as many qubits as the gate has arguments ("Number of qubit arguments does not match
    /// gate arity") and that they are pairwise distinct ("Qubit arguments must be unique"), in that order; a
    /// gate of more than two qubits then fails in `QArgs16::from_iter`.
    static Instr32 make(Gate16 gate, std::span<const uint8_t> qargs);
    /// `make` with the qubits written out.
    static Instr32 make(Gate16 gate, std::initializer_list<uint8_t> qargs) {
        return make(gate, std::span<const uint8_t>(qargs.begin(), qargs.size()));
    }

    /// The same gate with every qubit q replaced by perm[q]. Qubits at or beyond the permutation's length are
    /// fixed points, as when the permutation is extended to cover them; a qubit of 8 or more fails "assertion
    /// failed: idx < 8".
    Instr32 apply_permutation(Permut32 perm) const;
    /// Alias of `apply_permutation`.
    Instr32 permut(Permut32 perm) const { return apply_permutation(perm); }

    /// The OR of 1 << (q & 7) over the qubits; 0 without qubits.
    uint8_t arg_mask() const {
        uint8_t m = 0;
        for (uint8_t q : qargs) m |= uint8_t(1u << (q & 7));
        return m;
    }

    /// Feeds the qubits one by one into a frontier mask of the qubits touched so far: a qubit already in the
    /// mask passes, a fresh one must be the lowest qubit not yet in it and joins it. The updated mask, or
    /// nothing when a qubit is introduced out of order. Starting from 0, a left-to-right scan succeeds exactly
    /// when qubit labels first appear in the order 0, 1, 2, ...
    std::optional<uint8_t> pass_mask(uint8_t mask) const;

    /// The largest qubit; 0 without qubits.
    uint8_t largest_qubit() const {
        uint8_t m = 0;
        for (uint8_t q : qargs) m = q > m ? q : m;
        return m;
    }

    /// Whether the two instructions touch no common qubit.
    bool disjoint(Instr32 other) const { return (arg_mask() & other.arg_mask()) == 0; }

    /// The adjoint gate on the same qubits (may register the adjoint gate).
    Instr32 adjoint() const { return Instr32{gate.adjoint(), qargs}; }

    /// The argument position of `qubit`, if it is an argument.
    std::optional<size_t> position_of_qubit(uint8_t qubit) const {
        for (size_t i = 0; i < qargs.len(); ++i)
            if (qargs.raw[i] == qubit) return i;
        return std::nullopt;
    }

    /// The gate's display string followed by the qubits in parentheses: "cx(0, 1)", "rz(pi/3)(0)".
    std::string str() const;

    /// Feeds the gate handle (2 bytes, little-endian), then the qubit bytes.
    void hash_into(SipHasher13& h) const {
        gate.hash_into(h);
        qargs.hash_into(h);
    }
    /// SipHash-1-3 of `hash_into`.
    uint64_t hash_value() const {
        SipHasher13 h;
        hash_into(h);
        return h.finish();
    }

    friend bool operator==(const Instr32&, const Instr32&) = default;
    friend std::strong_ordering operator<=>(const Instr32& a, const Instr32& b) {
        if (auto c = a.qargs <=> b.qargs; c != 0) return c;
        return a.gate <=> b.gate;
    }
};
static_assert(sizeof(Instr32) == 4);

}  // namespace tandrel
