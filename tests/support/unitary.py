"""Exact unitaries of small circuits with NumPy, and equivalence up to global phase and qubit relabelling.

Basis index convention: bit q of an index is qubit q. A k-qubit gate matrix is indexed by the local number whose
most significant bit is the gate's first qubit argument.
"""

import itertools

import numpy as np


def instr_unitary(matrix, qargs, n):
    """The 2^n x 2^n operator of one gate on the given qubits."""
    k = len(qargs)
    dim = 1 << n
    u = np.zeros((dim, dim), dtype=complex)
    for col in range(dim):
        local_in = sum(((col >> q) & 1) << (k - 1 - j) for j, q in enumerate(qargs))
        rest = col & ~sum(1 << q for q in qargs)
        for local_out in range(1 << k):
            row = rest | sum(((local_out >> (k - 1 - j)) & 1) << q for j, q in enumerate(qargs))
            u[row, col] += matrix[local_out, local_in]
    return u


def circuit_unitary(instrs, n):
    """The operator of a list of `Instr` (applied left to right)."""
    u = np.eye(1 << n, dtype=complex)
    for i in instrs:
        u = instr_unitary(np.asarray(i.gate.matrix), list(i.qargs), n) @ u
    return u


def perm_matrix(perm, n):
    """Moves the amplitude of index i to the index with bit perm[q] set for every set bit q of i."""
    dim = 1 << n
    p = np.zeros((dim, dim))
    for i in range(dim):
        j = sum(1 << perm[q] for q in range(n) if (i >> q) & 1)
        p[j, i] = 1
    return p


def _phase_fixed(m):
    flat = m.ravel()
    k = int(np.argmax(np.abs(flat) > 1e-6))
    return m * (abs(flat[k]) / flat[k])


def canonical_class(u, n, decimals=6):
    """A key equal for two unitaries exactly when they agree up to global phase and independent qubit
    relabellings at input and output."""
    perms = [perm_matrix(p, n) for p in itertools.permutations(range(n))]
    best = None
    for po in perms:
        for pi in perms:
            m = np.round(_phase_fixed(po @ u @ pi), decimals) + 0.0
            key = m.tobytes()
            if best is None or key < best:
                best = key
    return best


def inverse(p):
    """The inverse permutation q of p: q[p[i]] = i."""
    q = [0] * len(p)
    for i, x in enumerate(p):
        q[x] = i
    return tuple(q)
