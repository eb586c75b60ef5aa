// The evaluator: turns a circuit into its equivalence key, a canonical state that is the same for every circuit
// equal to it up to global phase and up to relabelling the qubits at its input and at its output.
//
// The circuit C runs forward on a permutation-symmetric random state S; the result F = C*S does not see C's
// input labels, and sorting F's qubits by amplitude keys fixes C's output labels. A second random state R,
// relabelled by each tie-consistent output labelling, runs backwards through C's adjoint; sorting the result's
// qubits fixes C's input labels. The smallest canonical backtracked state B over the candidates is the key.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "circuit/instr.h"
#include "core/permutation.h"
#include "core/rng.h"
#include "state/state_vec.h"

namespace tandrel {

/// A (front, back) permutation pair: the sorted input labelling and the inverse of the output labelling.
using PermPair = std::pair<Permut32, Permut32>;

/// Per-thread working storage of evaluations, reused from call to call so that evaluation does not allocate.
struct EvalScratch {
    /// The canonical backtracked state of the best candidate.
    StateVec best;
    /// The (front, back) pairs that give `best`.
    std::vector<PermPair> pairs;
    /// The forward state C*S in canonical phase.
    StateVec forward;
    /// The candidate being backtracked.
    StateVec candidate;
    /// The backward circuit: the adjoints of the instructions in reverse order, resolved once per evaluation.
    std::vector<Instr32> adjoints;
};

/// The two fixed random states of a search. Immutable after construction; shared read-only by all threads.
struct Evaluator {
    /// S: amplitudes depend only on the Hamming weight of the index; canonical phase.
    StateVec initial_state;
    /// R: random, canonical phase and canonical qubit order.
    StateVec backtrack_state;

    /// The largest qubit count an evaluator supports (the tie table covers 8 sorted positions).
    static constexpr uint32_t MAX_QUBITS = 8;

    /// Draws S and R from `rng`; n above 8 fails (checked by callers that report it as a value error).
    static Evaluator from_random(Rng& rng, uint32_t n);

    uint32_t nqubits() const { return initial_state.nqubits(); }

    /// Evaluates `instrs` into `out` (best, pairs, forward). Allocation-free once `out` has been used for
    /// this qubit count on this thread.
    void evaluate_into(std::span<const Instr32> instrs, EvalScratch& out) const;
    /// `evaluate_into` for a non-empty circuit given the forward state of all but its last instruction, as
    /// `apply_instrs` leaves it on `initial_state` (before phase canonicalisation). The result is bit-identical;
    /// the prefix is not applied again, which the search uses for the extensions of one circuit.
    void evaluate_extension_into(const StateVec& prefix_forward, std::span<const Instr32> instrs,
                                 EvalScratch& out) const;

    /// The calling thread's scratch, for callers that only need the key or the pairs.
    static EvalScratch& thread_scratch();

    /// `hash_value` of B for the empty circuit.
    uint64_t initial_key() const;

    friend bool operator==(const Evaluator& a, const Evaluator& b) {
        return a.initial_state == b.initial_state && a.backtrack_state == b.backtrack_state;
    }

private:
    /// The backward passes of `evaluate_into`, once `out.forward` holds the forward state in canonical phase.
    void backtrack_into(std::span<const Instr32> instrs, EvalScratch& out) const;
};

/// Applies the instructions in order (each through its kernel or the dense product).
void apply_instrs(StateVec& s, std::span<const Instr32> instrs);
/// Applies the adjoints of the instructions in reverse order.
void apply_adjoint_instrs(StateVec& s, std::span<const Instr32> instrs);

}  // namespace tandrel
