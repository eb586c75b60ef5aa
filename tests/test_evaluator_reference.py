"""The evaluator against a plain reference written out here: the forward pass, phase canonicalisation, order
keys, every tie-consistent candidate, the backward pass and the choice of the smallest canonical state, with
every amplitude compared bit for bit. Only the gate kernels (checked against exact unitaries in
test_kernels.py) and the tie table rows are taken from the module.
"""

import math
import random
import struct
from fractions import Fraction

import numpy as np
import pytest

from tandrel import Gate, Instr, PanicException, StateVec
from tandrel import _probe as probe
from support.unitary import inverse

NAMES = ["h", "x", "z", "s", "sdg", "t", "tdg", "y", "rz(pi/3)", "cx", "swap", "cz", "cs"]
GRID = Fraction(2**24)
NEAR_ZERO = 2.0**-24


def user_gate():
    m = np.eye(4, dtype=complex)
    m[2:, 2:] = [[0, 1j], [1, 0]]
    return Gate("ref_u", [], m)


def bucket(v):
    """The grid bucket: v * 2^24 rounded half away from zero, exactly, saturated to int64 (NaN gives 0)."""
    x = v * 16777216.0
    if x != x:
        return 0
    if math.isinf(x):
        return 2**63 - 1 if x > 0 else -(2**63)
    f = Fraction(x)
    r = math.floor(abs(f) + Fraction(1, 2))
    return max(-(2**63), min(2**63 - 1, r if f >= 0 else -r))


def normalize_arg(re, im):
    n = len(re)
    r = (re[0], im[0])
    near = lambda c: abs(c[0]) < NEAR_ZERO and abs(c[1]) < NEAR_ZERO
    if near(r):
        r = (re[n - 1], im[n - 1])
        if near(r):
            sr = si = 0.0
            for i in range(n):
                sr += re[i]
                si += im[i]
            m = math.sqrt(sr * sr + si * si)
            r = (sr / m, si / m)
    norm_sqr = r[0] * r[0] + r[1] * r[1]
    a = math.sqrt(norm_sqr)
    fr = r[0] / norm_sqr * a
    fi = -r[1] / norm_sqr * a
    out_re = [x * fr - y * fi for x, y in zip(re, im)]
    out_im = [x * fi + y * fr for x, y in zip(re, im)]
    out_im[0] = 0.0
    return out_re, out_im


def apply(re, im, instrs):
    s = StateVec(re, im)
    for i in instrs:
        s *= i
    amps = [s[k] for k in range(s.len())]
    return [a.real for a in amps], [a.imag for a in amps]


def permute(re, im, p):
    """The amplitude at index i moves to the index whose bit p[j] is bit j of i."""
    n = len(p)
    out_re, out_im = [None] * len(re), [None] * len(im)
    for i in range(len(re)):
        d = sum(1 << p[j] for j in range(n) if i >> j & 1)
        out_re[d], out_im[d] = re[i], im[i]
    return out_re, out_im


def order(re, im):
    """(sorted qubits, tie mask): stable sort by the four-bucket key; bit k-1 ties sorted positions k-1, k."""
    n = len(re).bit_length() - 1
    last = len(re) - 1
    key = {q: tuple(bucket(v) for v in (re[1 << q], im[1 << q], re[last - (1 << q)], im[last - (1 << q)])) for q in range(n)}
    perm = sorted(range(n), key=lambda q: key[q])
    mask = sum(1 << (k - 1) for k in range(1, n) if key[perm[k]] == key[perm[k - 1]])
    return tuple(perm), mask


def reference_evaluate(s, r, instrs):
    """(B, pairs, F) as lists of exact floats and tuples."""
    fre, fim = normalize_arg(*apply(*s, instrs))
    b, mask = order(fre, fim)
    n = len(b)
    candidates = [tuple(b[q[i]] for i in range(n)) for q in probe.eqmask_to_perms(mask)] if n else [()]
    backward = [i.adjoint() for i in reversed(instrs)]
    best, pairs = None, []
    for t in candidates:
        qre, qim = normalize_arg(*apply(*permute(*r, t), backward))
        front, qmask = order(qre, qim)
        assert qmask == 0
        cand = permute(qre, qim, inverse(front))
        ckey = [bucket(v) for v in cand[0] + cand[1]]
        if best is None or ckey < best[0]:
            best, pairs = (ckey, cand), [(front, inverse(t))]
        elif ckey == best[0]:
            pairs.append((front, inverse(t)))
    return best[1], pairs, (fre, fim)


def bits(parts):
    return [struct.pack("<d", v) for part in parts for v in part]


def state_parts(s):
    amps = [s[k] for k in range(s.len())]
    return [a.real for a in amps], [a.imag for a in amps]


def random_circuit(rng, gates, n, length):
    usable = [g for g in gates if g.nqargs <= n]
    out = []
    for _ in range(length if usable else 0):
        g = rng.choice(usable)
        out.append(Instr(g, rng.sample(range(n), g.nqargs)))
    return out


@pytest.mark.parametrize("n", range(0, 6))
def test_evaluation_matches_the_reference_bit_for_bit(n):
    gates = [Gate.from_name(x) for x in NAMES] + [user_gate()]
    rng = random.Random(100 + n)
    e = probe.seeded_evaluator(n + 1, n)
    s, r = (state_parts(x) for x in probe.evaluator_states(e))
    for trial in range(25):
        # Short circuits leave qubits untouched, so that several candidates tie.
        c = random_circuit(rng, gates, n, rng.randrange(0, 3 if trial < 8 else 9))
        want_b, want_pairs, want_f = reference_evaluate(s, r, c)
        got_b, front, back, got_f = e.evaluate(c)
        assert bits(state_parts(got_b)) == bits(want_b)
        assert bits(state_parts(got_f)) == bits(want_f)
        assert probe.evaluate_pairs(e, c) == want_pairs and (front, back) == want_pairs[0]
        # The search's path: the forward state of the prefix, extended by the last instruction.
        whole, extended = probe.evaluate_seeded(n + 1, n, c)
        assert extended is None if not c else extended == whole


@pytest.mark.parametrize("n", [2, 3, 5])
def test_out_of_range_qubits_fail_the_same_way(n):
    e = probe.seeded_evaluator(1, n)
    for c, index in [
        ([Instr(Gate.from_name("h"), [0]), Instr(Gate.from_name("t"), [n])], 1 << n),
        ([Instr(Gate.from_name("rz(pi/3)"), [n + 1])], 2 << n),
        ([Instr(Gate.from_name("x"), [0]), Instr(user_gate(), [n, 0])], 1 << n),
    ]:
        with pytest.raises(PanicException, match=f"^index out of bounds: the len is {1 << n} but the index is {index}$"):
            e.evaluate(c)
