"""The evaluator's equivalence keys: invariances, soundness against exact unitaries, and the empty circuit."""

import itertools
import math
import random

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tandrel import Evaluator, Gate, Instr, PanicException, StateVec
from tandrel import _probe as probe
from support.unitary import canonical_class, circuit_unitary

G = {name: Gate.from_name(name) for name in ["h", "x", "z", "t", "tdg", "s", "cx", "swap", "cz", "rz(pi/3)"]}


def instr(name, *qargs):
    return Instr(G[name], list(qargs))


def random_circuit(rng, n, length, names=("h", "t", "s", "x", "cx", "cz", "rz(pi/3)")):
    out = []
    for _ in range(length):
        g = G[rng.choice(names if n > 1 else [m for m in names if G[m].nqargs == 1])]
        out.append(Instr(g, rng.sample(range(n), g.nqargs)))
    return out


def key(e, c):
    return e.evaluate(c)[0].hash_value()


def relabel(c, perm):
    return [Instr(i.gate, [perm[q] for q in i.qargs]) for i in c]


@pytest.mark.parametrize("n", range(0, 6))
def test_empty_circuit(n):
    e = Evaluator(n)
    b, front, back, f = e.evaluate([])
    s, r = probe.evaluator_states(e)
    assert b == r and f == s and e.initial_key() == b.hash_value()
    assert len(probe.evaluate_pairs(e, [])) == math.factorial(n)
    assert len(front) == len(back) == n and e.nqubits() == n


@pytest.mark.parametrize("n", [6, 8])
def test_larger_evaluators(n):
    e = Evaluator(n)
    rng = random.Random(n)
    assert len(probe.evaluate_pairs(e, [])) == math.factorial(n)
    c = random_circuit(rng, n, 6)
    k = key(e, c)
    assert k == key(e, relabel(c, rng.sample(range(n), n)))
    assert k == key(e, c + [instr("swap", 0, n - 1)])
    assert key(e, [instr("h", 0), instr("h", 0)]) == e.initial_key()


@settings(max_examples=40, deadline=None)
@given(st.integers(1, 4), st.integers(0, 7), st.randoms(use_true_random=False))
def test_key_invariances(n, length, rng):
    e = Evaluator(n)
    c = random_circuit(rng, n, length)
    k = key(e, c)
    assert key(e, relabel(c, rng.sample(range(n), n))) == k
    if n > 1:
        a, b = rng.sample(range(n), 2)
        assert key(e, c + [instr("swap", a, b)]) == k
    q = rng.randrange(n)
    assert key(e, c + [instr("z", q), instr("x", q), instr("z", q), instr("x", q)]) == k


def test_small_identities():
    e = Evaluator(3)
    assert key(e, [instr("z", 0), instr("x", 0), instr("z", 0), instr("x", 0)]) == e.initial_key()
    assert key(e, [instr("h", 0), instr("h", 0)]) == e.initial_key()
    assert key(e, [instr("h", 0)]) != e.initial_key()
    b, front, back, f = e.evaluate([instr("cx", 0, 1)])
    assert isinstance(front, tuple) and isinstance(back, tuple) and len(front) == 3


def test_pairs_relate_the_key_to_the_backtrack_state():
    rng = random.Random(3)
    for n in (2, 3):
        e = Evaluator(n)
        _, r = probe.evaluator_states(e)
        for _ in range(20):
            c = random_circuit(rng, n, rng.randrange(5))
            best = e.evaluate(c)[0]
            for front, back in probe.evaluate_pairs(e, c):
                q = r.clone()
                probe.apply_permutation(q, tuple(sorted(range(n), key=lambda i: back[i])))  # back^-1
                for i in reversed(c):
                    q *= i.adjoint()
                q.normalize_arg()
                probe.apply_permutation(q, tuple(sorted(range(n), key=lambda i: front[i])))  # front^-1
                assert q == best


@pytest.mark.parametrize("n, length", [(2, 4), (3, 3)])
def test_keys_agree_with_exact_unitaries(n, length):
    rng = random.Random(11 + n)
    e = Evaluator(n)
    circuits = [random_circuit(rng, n, rng.randrange(length + 1), ("h", "t", "x", "cx", "s")) for _ in range(300)]
    by_key, by_class = {}, {}
    for c in circuits:
        by_key.setdefault(key(e, c), []).append(c)
    keys = list(by_key)
    classes = [canonical_class(circuit_unitary(by_key[k][0], n), n) for k in keys]
    # circuits sharing a key are equivalent
    for k, cls in zip(keys, classes):
        for c in by_key[k][1:]:
            assert canonical_class(circuit_unitary(c, n), n) == cls
    # circuits with different keys are not
    assert len(set(classes)) == len(classes)
    assert len(keys) > 20


def test_bad_qubits_and_sizes():
    with pytest.raises(PanicException, match="^index out of bounds: the len is 4 but the index is"):
        Evaluator(2).evaluate([instr("h", 2)])
    with pytest.raises(ValueError, match="at most 8 qubits"):
        Evaluator(9)
    with pytest.raises(OverflowError):
        Evaluator(-1)
    with pytest.raises(TypeError):
        Evaluator(2).evaluate("h")
    e = Evaluator(2)
    assert e == e and e != Evaluator(2) and (e == 3) is False
    with pytest.raises(TypeError):
        hash(e)
