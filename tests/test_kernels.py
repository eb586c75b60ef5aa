"""Gate application on state vectors: built-in kernels, the dense product, and qubit relabelling."""

import numpy as np
import pytest

from tandrel import Gate, Instr, PanicException, StateVec
from tandrel import _probe as probe
from support.unitary import instr_unitary, perm_matrix

BUILTIN_KERNELS = ["h", "x", "z", "s", "sdg", "t", "tdg", "cx", "swap"]


def gate(name):
    return Gate.from_name(name)


def amplitudes(s):
    return np.array([s[i] for i in range(s.len())])


def basis(n, index):
    re = [0.0] * (1 << n)
    re[index] = 1.0
    return StateVec(re, [0.0] * (1 << n))


def state_of(vec):
    return StateVec(list(vec.real), list(vec.imag))


@pytest.mark.parametrize("name", BUILTIN_KERNELS + ["y", "cz", "rz(pi/3)"])
@pytest.mark.parametrize("n", [2, 3])
def test_every_gate_matches_its_matrix(name, n):
    g = gate(name)
    rng = np.random.default_rng(5)
    qargs = list(rng.permutation(n)[: g.nqargs])
    for _ in range(3):
        v = rng.normal(size=1 << n) + 1j * rng.normal(size=1 << n)
        s = state_of(v)
        s *= Instr(g, qargs)
        expected = instr_unitary(np.asarray(g.matrix), qargs, n) @ v
        np.testing.assert_allclose(amplitudes(s), expected, atol=1e-12)
    assert probe.has_kernel(g) == (name in BUILTIN_KERNELS)


@pytest.mark.parametrize(
    "name, qargs, start, end",
    [("cx", [0, 1], 1, 3), ("cx", [1, 0], 1, 1), ("swap", [0, 1], 1, 2), ("swap", [1, 0], 1, 2), ("swap", [0, 1], 3, 3)],
)
def test_two_qubit_orientation(name, qargs, start, end):
    s = basis(2, start)
    s *= Instr(gate(name), qargs)
    assert s == basis(2, end)


@pytest.mark.parametrize("qargs", [[0, 1], [1, 0], [0, 2], [2, 1]])
def test_dense_product_equals_cx_kernel(qargs):
    a = StateVec.random(3)
    b = a.clone()
    a *= Instr(gate("cx"), qargs)
    probe.multiply(b, qargs, gate("cx"))
    assert a == b


def test_phase_kernels_exact_arithmetic():
    s = StateVec.random(2)
    before = amplitudes(s)
    for _ in range(8):
        s *= Instr(gate("t"), [1])
    after = amplitudes(s)
    assert np.all(np.abs(after - before) < 2**-24)
    s = StateVec([1.0, 0.0], [0.0, 0.0])
    s *= Instr(gate("sdg"), [0])
    assert np.copysign(1, s[1].imag) == -1 and s[0] == 1  # the -0 factor shows on a zero amplitude
    h = StateVec.random(3)
    twice = h.clone()
    twice *= Instr(gate("h"), [2])
    twice *= Instr(gate("h"), [2])
    assert twice == h


def test_wrong_matrix_size_and_qubit_out_of_range():
    with pytest.raises(PanicException, match=r"^assertion failed: matrix.nrows\(\) == 4 && matrix.ncols\(\) == 4$"):
        probe.multiply(StateVec.random(2), [0, 1], gate("h"))
    with pytest.raises(PanicException, match="^index out of bounds: the len is 4 but the index is"):
        s = StateVec.random(2)
        s *= Instr(gate("h"), [2])


@pytest.mark.parametrize("perm", [(0, 1), (1, 0), (2, 0, 1), (1, 2, 0, 3)])
def test_apply_permutation(perm):
    n = len(perm)
    s = StateVec.random(n)
    v = amplitudes(s)
    probe.apply_permutation(s, perm)
    np.testing.assert_array_equal(amplitudes(s), perm_matrix(perm, n) @ v)


def test_orderinfo_of_symmetric_and_generic_states():
    import itertools

    perms, classes, b, mask, cands = probe.orderinfo(StateVec.random_symmetric(3))
    assert classes == [3] and b == (0, 1, 2) and mask == 0b11
    assert cands == [tuple(p) for p in probe.perm_all(3)]
    s = StateVec.random(4)
    perms, classes, b, mask, cands = probe.orderinfo(s)
    assert classes == [1, 2, 3, 4] and mask == 0 and cands == [b] == [probe.get_permutation(s)]
    probe.apply_permutation(s, tuple(np.argsort(b)))  # the inverse of b puts sorted qubit k at k
    assert probe.get_permutation(s) == (0, 1, 2, 3)
    for tiny in (StateVec([1.0], [0.0]), StateVec.random(1)):
        assert probe.orderinfo(tiny)[3] == 0 and len(probe.orderinfo(tiny)[4]) == 1


def test_orderinfo_splits_ties():
    # qubits 0 and 2 share keys, qubit 1 differs
    s = StateVec.random_symmetric(3)
    s *= Instr(gate("x"), [1])
    s.normalize_arg()
    perm, classes, b, mask, cands = probe.orderinfo(s)
    assert len(classes) == 2 and len(cands) == 2 and bin(mask).count("1") == 1


def test_tie_table_rows():
    import itertools
    from math import factorial

    row5 = [p[:5] for p in probe.eqmask_to_perms(0b0101)]
    assert len(row5) == 4 and all(set(p[0:2]) == {0, 1} and set(p[2:4]) == {2, 3} and p[4] == 4 for p in row5)
    assert probe.eqmask_to_perms(0) == [tuple(range(8))]
    assert len(probe.eqmask_to_perms(127)) == factorial(8)
    # Rows of 5-position masks, filtered from the 8-point Heap order, are the 5-point Heap order filtered.
    heap5 = probe.perm_all(5)
    for m in range(16):
        row = probe.eqmask_to_perms(m)
        assert all(p[5:] == (5, 6, 7) for p in row)
        runs = [0]
        for j in range(4):
            runs.append(runs[-1] if (m >> j) & 1 else j + 1)
        expected = [tuple(p) for p in heap5 if all(runs[p[i]] == runs[i] for i in range(5))]
        assert [p[:5] for p in row] == expected
    with pytest.raises(PanicException, match="the len is 128 but the index is 128"):
        probe.eqmask_to_perms(128)
