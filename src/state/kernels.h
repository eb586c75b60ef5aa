// Gate application: specialised kernels for nine built-in gates, a dense product for every other gate of 1 to
// 3 qubits, and qubit relabelling of whole states through per-thread scratch vectors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "circuit/dense_matrix.h"
#include "circuit/gate.h"
#include "core/permutation.h"
#include "state/state_vec.h"

namespace tandrel {

/// A kernel: applies one built-in gate to the amplitudes it touches. `qargs` holds `nq` qubit indices.
using GateKernel = void (*)(StateVec& s, const uint8_t* qargs, size_t nq);

/// `GATE_FUNCS`, indexed by handle: the built-in handles are small, so a short array covers them all.
struct GateFuncs {
    static constexpr size_t SIZE = 64;
    std::array<GateKernel, SIZE> kernels{};

    /// Built once, on first use, by the first thread that needs it.
    static const GateFuncs& get() {
        static const GateFuncs GATE_FUNCS = build();
        return GATE_FUNCS;
    }

private:
    static GateFuncs build();
};

/// The kernel of a gate, or null when the gate goes through the dense product; an array read.
inline GateKernel gate_kernel(Gate16 g) {
    const GateFuncs& t = GateFuncs::get();
    return g.raw < GateFuncs::SIZE ? t.kernels[g.raw] : nullptr;
}

/// The dense product of gate `g`'s matrix, under the registry's read access.
void apply_dense(StateVec& s, Gate16 g, const uint8_t* qargs, size_t nq);

/// Applies gate `g` on `qargs` (argument order as in the instruction): its kernel, else the dense product.
inline void apply_gate(StateVec& s, Gate16 g, const uint8_t* qargs, size_t nq) {
    if (GateKernel k = gate_kernel(g)) return k(s, qargs, nq);
    apply_dense(s, g, qargs, nq);
}

/// The dense product of a 2^k x 2^k matrix on k = nq qubit arguments (k of 1 to 3).
void multiply(StateVec& s, const uint8_t* qargs, size_t nq, const DenseMatrix& m);

/// Writes the amplitude of `src` at index i to index perm.permut_bv(i) of `dst`, which takes `src`'s length: the
/// result of copying `src` and applying `apply_permutation`, in one pass. The permutation has the state's qubit
/// count as its length.
void permute_into(StateVec& dst, const StateVec& src, Permut32 perm);

/// Moves the amplitude at index i to index perm.permut_bv(i). The permutation has the state's qubit count as
/// its length. Uses the calling thread's scratch vector of that size (see `reserve_state_vec_cache`) and
/// exchanges storage with it, so nothing is allocated after the first call per thread and size.
void apply_permutation(StateVec& s, Permut32 perm);

/// Makes sure the calling thread's `STATE_VEC_CACHE` has scratch vectors for 0 .. n qubits.
void reserve_state_vec_cache(uint32_t n);

}  // namespace tandrel
