"""Identity circuits: the randomized check, the stable hash, next/previous users of a qubit, the canonical form over
rotations and relabellings, COMBINATIONS, and the Python class."""

import ctypes
import itertools
import struct
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import assume, given, settings, strategies as st

from tandrel import Circ, Gate, IdentityCirc, Instr, PanicException
from tandrel import _probe as probe
from support.siphash_ref import python_hash_of_bytes, reduce_hash
from support.unitary import circuit_unitary, perm_matrix

UNFILLED = (1 << (8 * ctypes.sizeof(ctypes.c_size_t))) - 1
HANDLES = {"h": 1, "x": 2, "cx": 9}


def parse(text):
    """'h0 cx01 swap12' -> instructions (one digit per qubit)."""
    out = []
    for word in text.split():
        name = word.rstrip("0123456789")
        out.append(Instr(Gate.from_name(name), [int(q) for q in word[len(name):]]))
    return out


def C(text, perm=None):
    return Circ(parse(text), perm)


def ident(text, perm=None):
    return IdentityCirc(C(text, perm))


def unitary(c, n):
    perm = list(c.perm) + list(range(len(c.perm), n))
    return perm_matrix(perm, n) @ circuit_unitary(c.instrs, n)


def is_identity_up_to_phase(c, n):
    u = unitary(c, n)
    return abs(abs(u[0, 0]) - 1) < 1e-9 and np.allclose(u, u[0, 0] * np.eye(1 << n), atol=1e-9)


@st.composite
def identities(draw, max_qubits=4, max_half=4):
    """c + c.inverse() for a random c with a random permutation: an identity of even length."""
    n = draw(st.integers(1, max_qubits))
    names = ["h", "x", "s", "t", "z"] + (["cx", "cz", "swap"] if n > 1 else [])
    instrs = []
    for _ in range(draw(st.integers(1, max_half))):
        g = Gate.from_name(draw(st.sampled_from(names)))
        instrs.append(Instr(g, draw(st.permutations(range(n)))[: g.nqargs]))
    c = Circ(instrs, draw(st.permutations(range(n))))
    return c + c.inverse()


# ---- construction and check ---------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, perm",
    [("", None), ("", [0, 1]), ("h0 h0", None), ("h0 h0", [0, 1]), ("cx01 cx01", None), ("s0 sdg0", None),
     ("cx01 cx10 cx01", [1, 0]), ("swap01", [1, 0]), ("h0 x1 h0 x1", None), ("t0 t0 t0 t0 t0 t0 t0 t0", None)],
)
def test_identities_pass_the_check(text, perm):
    c = C(text, perm)
    assert is_identity_up_to_phase(c, c.nqubits())
    i = IdentityCirc(c)
    assert i.check() is True and i.inner == c and i.nqubits() == c.nqubits() and len(i) == len(c)


@pytest.mark.parametrize("text, perm", [("h0", None), ("cx01 cx10", None), ("h0 h0", [1, 0]), ("t0 t0", None)])
def test_other_circuits_fail_the_check(text, perm):
    with pytest.raises(PanicException) as info:
        IdentityCirc(C(text, perm))
    assert str(info.value).startswith("IdentityCirc: circuit is not identity ")
    assert str(info.value).endswith(" " + str(C(text, perm)))
    unchecked = IdentityCirc.from_python(probe.circ_to_object(C(text, perm)))
    with pytest.raises(PanicException):
        unchecked.check()


def test_constructor_takes_a_circuit_only():
    with pytest.raises(TypeError):
        IdentityCirc([])
    with pytest.raises(TypeError):
        IdentityCirc(circuit=ident("h0 h0"))


@pytest.mark.parametrize(
    "obj, message",
    [({"instrs": [("h", (5, 255))], "perm": {"raw": 16777216}}, None),            # qubit beyond the qubit count
     ({"instrs": [("cx", (0, 255))], "perm": {"raw": 33554440}}, None),           # wrong number of qubits
     ({"instrs": [], "perm": {"raw": (2 << 24) | (5 << 3)}}, "assertion failed: perm.is_valid()"),
     ({"instrs": [], "perm": {"raw": 15 << 24}}, "assertion failed: perm.is_valid()")],
)
def test_check_of_malformed_values_fails_cleanly(obj, message):
    with pytest.raises(PanicException) as info:
        IdentityCirc.from_python(obj).check()
    if message is not None:
        assert str(info.value) == message


def test_placeholder():
    p = probe.identity_placeholder()
    assert len(p) == 0 and p.nqubits() == 0 and probe.circ_perm_raw(p.inner) == 0
    assert str(p) == "Identity { () }" and p.check() is True


# ---- display, order, hash ------------------------------------------------------------------------------------------


def test_display_and_debug_forms():
    i = ident("h0 cx01 cx01 h0")
    assert str(i) == "Identity { h(0) cx(0, 1) cx(0, 1) h(0) (0 1) }"
    assert repr(i) == "IdentityCirc(Circ { instrs: [h(0), cx(0, 1), cx(0, 1), h(0)], perm: (0 1) })"


def test_order_and_equality_follow_the_circuits():
    a, b = ident("h0 h0"), ident("h0 h0", [0, 1])
    assert a != b and a < b and a <= b and b > a and b >= a and (a < b) == (a.inner < b.inner)
    assert ident("h0 h0") == a and hash(ident("h0 h0")) == hash(a)
    assert ident("cx01 cx01") < ident("h0 h0") and ident("h0 h0") < ident("h0 h0 h0 h0")
    assert (a == a.inner) is False and (a != 5) is True
    with pytest.raises(TypeError):
        a < a.inner


def hash_stream(instrs, perm_raw):
    out = struct.pack("<I", len(instrs))
    for gate, q0, q1 in instrs:
        out += struct.pack("<HIBB", gate, 2, q0, q1)
    return out + struct.pack("<I", perm_raw)


@pytest.mark.parametrize(
    "text, perm, stream",
    [("h0 h0", None, [(HANDLES["h"], 0, 255)] * 2),
     ("cx01 cx01", None, [(HANDLES["cx"], 0, 1)] * 2),
     ("", None, []),
     ("x1 x1", None, [(HANDLES["x"], 1, 255)] * 2)],
)
def test_hash_value_is_siphash_of_the_byte_stream(text, perm, stream):
    i = ident(text, perm)
    raw = probe.circ_perm_raw(i.inner)
    [expected] = python_hash_of_bytes([hash_stream(stream, raw)])
    assert reduce_hash(i.hash_value()) == expected and hash(i) == expected
    assert 0 <= i.hash_value() < 2**64


def test_hash_value_is_the_same_in_another_process():
    code = (
        "from tandrel import Circ, Gate, IdentityCirc, Instr\n"
        "h = Gate.from_name('h')\n"
        "print(IdentityCirc(Circ([Instr(h, [0]), Instr(h, [0])])).hash_value())\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert int(out) == ident("h0 h0").hash_value() == IdentityCirc(C("h0 h0")).hash_value()


# ---- indexing -----------------------------------------------------------------------------------------------------


def test_indexing():
    i = ident("h0 x0 x0 h0")
    assert [str(i[k]) for k in (0, 1, -1, 4, 5, -5)] == ["h(0)", "x(0)", "h(0)", "h(0)", "x(0)", "h(0)"]
    assert [str(x) for x in i] == ["h(0)", "x(0)", "x(0)", "h(0)"]
    empty = ident("")
    with pytest.raises(PanicException) as info:
        empty[0]
    assert str(info.value) == "attempt to calculate the remainder with a divisor of zero"
    with pytest.raises(OverflowError):
        i[2**63]


# ---- next and previous users of a qubit ---------------------------------------------------------------------------


def next_users(c, g):
    """The next instruction on each qubit of instruction g, following the wires cyclically through a trivial
    permutation (the oracle for identity-permutation circuits)."""
    n = len(c)
    out = []
    for q in c[g].qargs:
        out.append(next(k % n for k in range(g + 1, g + n + 1) if q in c[k % n].qargs))
    return out


def previous_users(c, g):
    n = len(c)
    return [next(k % n for k in range(g - 1, g - n - 1, -1) if q in c[k % n].qargs) for q in c[g].qargs]


@pytest.mark.parametrize(
    "text, perm, gate_id, forward, backward",
    [("h0 h0", None, 0, [1], [1]), ("h0 h0", None, 1, [0], [0]),
     ("cx01 h0 h0 cx01", None, 0, [1, 3], [3, 3]), ("cx01 h0 h0 cx01", None, 3, [0, 0], [2, 0]),
     ("h0 h0 i1", None, 2, [2], [2]),
     ("cx01 cx10 cx01", [1, 0], 2, [0, 0], [1, 1])],
)
def test_qargs_forward_and_backward(text, perm, gate_id, forward, backward):
    i = ident(text, perm)
    assert i.qargs_forward(gate_id) == forward and i.qargs_backward(gate_id) == backward


@settings(max_examples=60, deadline=None)
@given(identities(), st.data())
def test_qargs_lists_follow_the_wires_for_trivial_permutations(c, data):
    c = Circ(c.instrs, list(range(c.nqubits())))
    i = IdentityCirc.from_python(probe.circ_to_object(c))
    g = data.draw(st.integers(0, len(c) - 1))
    assert i.qargs_forward(g) == next_users(c, g)
    assert i.qargs_backward(g) == previous_users(c, g)


def test_qargs_failures():
    with pytest.raises(PanicException) as info:
        ident("").qargs_forward(0)
    assert str(info.value) == "index out of bounds: the len is 0 but the index is 0"
    with pytest.raises(PanicException) as info:
        ident("h0 h0").qargs_backward(2)
    assert str(info.value) == "index out of bounds: the len is 2 but the index is 2"
    with pytest.raises(OverflowError):
        ident("h0 h0").qargs_forward(-1)
    # Qubit 0 is relabelled to 1 when the circuit wraps around, so h(0) never finds its own qubit again.
    lone = IdentityCirc.from_python({"instrs": [("h", (0, 255))], "perm": {"raw": (2 << 24) | 1}})
    with pytest.raises(PanicException) as info:
        lone.qargs_forward(0)
    assert str(info.value) == f"Identity {{ h(0) (1 0) }} [{UNFILLED}]"


# ---- canonical identities -----------------------------------------------------------------------------------------


def literal_rotate_representative(c):
    """The canonical identity step by step from the public transformations."""
    c = probe.circ_compact_qubits(c).remove_swaps()
    if c.is_empty():
        return c
    cands = []
    for s in itertools.permutations(range(c.nqubits())):
        d = c.permut(list(s))
        for k in range(len(d)):
            if 0 in d[k].qargs:
                cands.append(probe.circ_compact_qubits(probe.circ_reorder_instrs(d.rotate(k))))
    return min(cands)


@pytest.mark.parametrize(
    "text, perm, expected, expected_perm",
    [("h1 h1", [0, 1], "h0 h0", (0,)), ("x0 h0 h0 x0", None, "h0 h0 x0 x0", (0,)),
     ("cx10 cx10", None, "cx01 cx01", (0, 1)), ("swap01 swap01", None, "", (0, 1)),
     ("h0 swap01 h1", [1, 0], "h0 h0", (0,)), ("", [0, 1], "", (0, 1))],
)
def test_rotate_representative_examples(text, perm, expected, expected_perm):
    r = C(text, perm).rotate_representative()
    assert isinstance(r, IdentityCirc)
    assert [str(x) for x in r.inner.instrs] == [str(x) for x in parse(expected)] and r.inner.perm == expected_perm


@settings(max_examples=60, deadline=None)
@given(identities(), st.data())
def test_rotate_representative_is_invariant_under_rotation_and_relabelling(c, data):
    # A circuit of nothing but SWAPs is its own representative, permutation included, so relabelling it can
    # change the permutation's length; the law holds for circuits that keep instructions.
    assume(len(c.remove_swaps()) > 0)
    canonical = c.rotate_representative()
    k = data.draw(st.integers(-len(c), len(c)))
    s = data.draw(st.permutations(range(c.nqubits())))
    assert c.rotate(k).rotate_representative() == canonical
    assert c.permut(s).rotate(k).rotate_representative() == canonical
    assert is_identity_up_to_phase(canonical.inner, max(c.nqubits(), canonical.nqubits()))


@settings(max_examples=40, deadline=None)
@given(identities(max_qubits=3, max_half=3))
def test_rotate_representative_matches_the_literal_search(c):
    assert c.rotate_representative().inner == literal_rotate_representative(c)


@settings(max_examples=60, deadline=None)
@given(identities(max_qubits=5, max_half=6))
def test_rotate_representative_matches_the_plain_composition(c):
    assert c.rotate_representative().inner == probe.plain_rotation_canonical(c)


def test_rotate_representative_failures():
    with pytest.raises(PanicException) as info:
        C("h0 x0").rotate_representative()
    assert str(info.value).startswith("IdentityCirc: circuit is not identity ")
    phase = Gate("gphase", [], np.array([[1j]]))
    with pytest.raises(PanicException) as info:
        Circ([Instr(phase, [])]).rotate_representative()
    assert str(info.value) == "called `Option::unwrap()` on a `None` value"


@pytest.mark.parametrize(
    "obj",
    [{"instrs": [("h", (9, 255))], "perm": {"raw": 16777216}}, {"instrs": [("swap", (0, 255))], "perm": {"raw": 0}},
     {"instrs": [("h", (3, 255))], "perm": {"raw": (2 << 24) | 8}}, {"instrs": [("h", (0, 255))], "perm": {"raw": 15 << 24}},
     {"instrs": [("cx", (3, 3))], "perm": {"raw": 4 << 24}}],
)
def test_operations_on_malformed_circuits_fail_cleanly(obj):
    c = IdentityCirc.from_python(obj).inner
    operations = [lambda: c.rotate_representative(), lambda: c.representative(), lambda: c.remove_swaps(),
                  lambda: c.permut([1, 0]), lambda: c.inverse(), lambda: c.rotate(1), lambda: c + c, lambda: str(c),
                  lambda: IdentityCirc.from_python(obj).qargs_forward(0), lambda: c.instrs_with_swaps()]
    # Each either works or is an internal failure; nothing reads or writes out of bounds.
    for op in operations:
        try:
            op()
        except PanicException:
            pass


# ---- COMBINATIONS -------------------------------------------------------------------------------------------------


@pytest.mark.parametrize("n", range(20))
def test_combinations(n):
    expected = [list(s) for k in range(min(n // 2 + 1, n) + 1) for s in itertools.combinations(range(n), k)]
    assert probe.combinations(n) == expected


def test_combinations_examples_and_bounds():
    assert probe.combinations(0) == [[]] and probe.combinations(1) == [[], [0]]
    assert probe.combinations(2) == [[], [0], [1], [0, 1]]
    assert probe.combinations(3) == [[], [0], [1], [2], [0, 1], [0, 2], [1, 2]]
    assert max(len(s) for s in probe.combinations(19)) == 10
    with pytest.raises(PanicException) as info:
        probe.combinations(20)
    assert str(info.value) == "index out of bounds: the len is 20 but the index is 20"
