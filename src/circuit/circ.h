// Circuits with a trailing qubit permutation: the circuit value of the equivalence classes and of the identity
// prover. Wire relabellings (SWAP gates among them) live in the permutation instead of being spelled out as gates.
//
// Meaning: the instructions run in order, then qubit q is moved to position perm[q]. Relabelling a circuit by s
// maps every instruction qubit q to s[q] and the permutation P to s * P * s⁻¹; appending (C2, P2) after (C1, P1)
// relabels C2 by P1⁻¹ and gives the permutation P2 * P1.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "circuit/instr.h"
#include "core/permutation.h"
#include "core/siphash.h"

namespace tandrel {

/// Instructions in execution order followed by a qubit permutation whose length is the qubit count.
///
/// Invariant (checked by `make`): when an instruction touches a qubit, the permutation is longer than the largest
/// qubit touched. Values read back without checks (`from_parts`) may break it; the operations below then fail as
/// internal failures, never by reading or writing out of bounds.
///
/// Equality and hash cover both fields. The order is: fewer instructions first, then the instructions
/// lexicographically by the instruction order, then the permutations as packed words.
struct Circ {
    /// The instructions in execution order.
    std::vector<Instr32> instrs;
    /// Applied after the last instruction.
    Permut32 perm;

    /// Stores both after checking the invariant ("Permutation length must be greater than the max qubit index.").
    static Circ make(std::vector<Instr32> instrs, Permut32 perm);
    /// The identity permutation of length 1 + the largest qubit touched (length 0 when no instruction touches a
    /// qubit); a qubit above 7 fails "Permutation length must be less than or equal to 8".
    static Circ new_no_perm(std::vector<Instr32> instrs);
    /// Stores both as they are, without any check; for values read back from their stored forms.
    static Circ from_parts(std::vector<Instr32> instrs, Permut32 perm) { return Circ{std::move(instrs), perm}; }

    /// Number of instructions.
    size_t len() const { return instrs.size(); }
    /// Whether there are no instructions.
    bool is_empty() const { return instrs.empty(); }
    /// The permutation's length.
    uint8_t nqubits() const { return perm.len(); }
    /// The largest qubit an instruction touches or the permutation moves; nothing when there is none.
    std::optional<uint8_t> affected_qubits() const;
    /// The instruction at `idx` modulo the length, as a non-negative remainder (-1 is the last one); an empty
    /// circuit fails "attempt to calculate the remainder with a divisor of zero".
    Instr32 at(int64_t idx) const;

    /// The permutation cut to the points 0 .. affected_qubits() when those are fewer than its length; the
    /// instructions are never renumbered.
    Circ compact_qubits() const;
    /// Insertion sort that moves an instruction towards the front only past greater instructions it shares no
    /// qubit with: a canonical order of commuting neighbours. The permutation is unchanged.
    Circ reorder_instrs() const;
    /// Relabelling by `s` (lengths equalised by fixed points first).
    Circ permut(Permut32 s) const;
    /// SWAP gates dropped and folded into the permutation; the other instructions follow the moved wires.
    Circ remove_swaps() const;
    /// Reverse order, adjoint gates (which may register them), relabelled by P; permutation P⁻¹.
    Circ inverse() const;
    /// Cyclic rotation: n > 0 moves the first n instructions, relabelled by P⁻¹, to the end; n < 0 moves the
    /// last |n|, relabelled by P, to the front. |n| above the length fails "range start index ..." (the message
    /// shows |n|).
    Circ rotate(int64_t n) const;
    /// This circuit followed by `other`.
    Circ add(const Circ& other) const;
    /// The instructions followed by one SWAP for every transposition `perm.generate_swaps()` yields.
    std::vector<Instr32> instrs_with_swaps() const;

    /// The least of `permut(s).reorder_instrs().compact_qubits()` over every s of the qubit count, taken after
    /// compaction and SWAP folding: equal for circuits that differ by a relabelling or by the order of commuting
    /// neighbours.
    Circ representative() const;
    /// `representative()` with the relabelling that gives it (the smallest packed one among those giving the
    /// same circuit); a circuit without instructions after SWAP folding gives the empty permutation.
    std::pair<Circ, Permut32> representative_with_perm() const;
    /// The least of `permut(s).rotate(i).reorder_instrs().compact_qubits()` over every s and every position i
    /// whose relabelled instruction touches qubit 0, after compaction and SWAP folding; the circuit itself when
    /// it has no instructions then. No candidate at all fails "called `Option::unwrap()` on a `None` value".
    /// The identity prover wraps it as its canonical identity (`rotate_representative`).
    Circ rotation_canonical() const;

    /// "Circuit { h(0) cx(0, 1) (0 1) }".
    std::string str() const;
    /// "Circ { instrs: [h(0), cx(0, 1)], perm: (0 1) }".
    std::string debug() const;

    /// Feeds the instruction count (8 bytes), every instruction, then the permutation.
    void hash_into(SipHasher13& h) const;
    /// SipHash-1-3 of `hash_into`.
    uint64_t hash_value() const {
        SipHasher13 h;
        hash_into(h);
        return h.finish();
    }

    friend bool operator==(const Circ&, const Circ&) = default;
    friend std::strong_ordering operator<=>(const Circ& a, const Circ& b);
};

}  // namespace tandrel
