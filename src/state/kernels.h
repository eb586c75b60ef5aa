// Gate application: specialised kernels for nine built-in gates, a dense product for every other gate of 1 to
// 3 qubits, and qubit relabelling of whole states through per-thread scratch vectors.
#pragma once

#include <cstddef>
#include <cstdint>

#include "circuit/dense_matrix.h"
#include "circuit/gate.h"
#include "core/permutation.h"
#include "state/state_vec.h"

namespace tandrel {

/// A kernel: applies one built-in gate to the amplitudes it touches. `qargs` holds `nq` qubit indices.
using GateKernel = void (*)(StateVec& s, const uint8_t* qargs, size_t nq);

/// The kernel of a gate, or null when the gate goes through the dense product. `GATE_FUNCS` is built once,
/// on first use; lookups are an array read.
GateKernel gate_kernel(Gate16 g);

/// Applies gate `g` on `qargs` (argument order as in the instruction): its kernel, else the dense product.
void apply_gate(StateVec& s, Gate16 g, const uint8_t* qargs, size_t nq);

/// The dense product of a 2^k x 2^k matrix on k = nq qubit arguments (k of 1 to 3).
void multiply(StateVec& s, const uint8_t* qargs, size_t nq, const DenseMatrix& m);

/// Moves the amplitude at index i to index perm.permut_bv(i). The permutation has the state's qubit count as
/// its length. Uses the calling thread's scratch vector of that size (see `reserve_state_vec_cache`) and
/// exchanges storage with it, so nothing is allocated after the first call per thread and size.
void apply_permutation(StateVec& s, Permut32 perm);

/// Makes sure the calling thread's `STATE_VEC_CACHE` has scratch vectors for 0 .. n qubits.
void reserve_state_vec_cache(uint32_t n);

}  // namespace tandrel
