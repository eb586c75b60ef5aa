"""Circuits with a trailing permutation: construction, transformations, canonical forms, order, display, indexing.

The laws are checked against exact NumPy unitaries: a circuit (instrs, P) on n qubits is the operator
perm_matrix(P) @ circuit_unitary(instrs).
"""

import itertools

import numpy as np
import pytest
from hypothesis import assume, given, settings, strategies as st

from tandrel import Circ, Gate, Instr, PanicException
from tandrel import _probe as probe
from support.unitary import circuit_unitary, perm_matrix

NAMES_1Q = ["h", "x", "z", "s", "sdg", "t", "tdg"]
NAMES_2Q = ["cx", "cz", "swap"]
INVARIANT = "Permutation length must be greater than the max qubit index."


def I(name, *qargs):  # noqa: E743 - reads like the instruction it builds
    return Instr(Gate.from_name(name), list(qargs))


def parse(text):
    """'h0 cx01 swap12' -> instructions (one digit per qubit)."""
    out = []
    for word in text.split():
        name = word.rstrip("0123456789")
        out.append(I(name, *map(int, word[len(name):])))
    return out


def C(text, perm=None):
    return Circ(parse(text), perm)


def shape(c):
    """A circuit as plain data: ([(gate string, qubits)], perm)."""
    return [(str(i.gate), tuple(i.qargs)) for i in c.instrs], c.perm


def unitary(c, n):
    """The operator of `c` on n qubits (n at least its qubit count; extra qubits are fixed)."""
    perm = list(c.perm) + list(range(len(c.perm), n))
    return perm_matrix(perm, n) @ circuit_unitary(c.instrs, n)


def equal_up_to_phase(u, v):
    k = np.argmax(np.abs(v))
    phase = u.flat[k] / v.flat[k]
    return abs(abs(phase) - 1) < 1e-9 and np.allclose(u, phase * v, atol=1e-9)


@st.composite
def circuits(draw, max_qubits=4, max_len=6, with_perm=True):
    n = draw(st.integers(1, max_qubits))
    names = NAMES_1Q + (NAMES_2Q if n > 1 else [])
    instrs = []
    for _ in range(draw(st.integers(0, max_len))):
        g = Gate.from_name(draw(st.sampled_from(names)))
        instrs.append(Instr(g, draw(st.permutations(range(n)))[: g.nqargs]))
    perm = draw(st.permutations(range(n))) if with_perm else list(range(n))
    return Circ(instrs, perm)


def relabellings(n):
    return st.permutations(range(n))


# ---- construction -------------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, perm, nqubits, expected_perm",
    [("", None, 0, ()), ("h0", None, 1, (0,)), ("cx02", None, 3, (0, 1, 2)), ("h1", [1, 0], 2, (1, 0)),
     ("", [2, 0, 1], 3, (2, 0, 1)), ("h0", [0, 1, 2], 3, (0, 1, 2))],
)
def test_construction(text, perm, nqubits, expected_perm):
    c = C(text, perm)
    assert c.nqubits() == nqubits and c.perm == expected_perm
    assert len(c) == c.len() == len(parse(text)) and c.is_empty() == (text == "")


@pytest.mark.parametrize(
    "instrs, perm, message",
    [([("cx", 0, 2)], [0, 1], INVARIANT), ([("h", 0)], [], INVARIANT), ([("h", 3), ("h", 0)], [2, 1, 0], INVARIANT),
     ([("h", 8)], None, "Permutation length must be less than or equal to 8"),
     ([("h", 254)], None, "Permutation length must be less than or equal to 8")],
)
def test_construction_failures(instrs, perm, message):
    with pytest.raises(PanicException) as info:
        Circ([I(*i) for i in instrs], perm)
    assert str(info.value) == message


def test_construction_refuses_other_objects():
    with pytest.raises(TypeError):
        Circ("h0")
    with pytest.raises(TypeError):
        Circ([I("h", 0)], "0")
    with pytest.raises(TypeError):
        C("h0") + 1


def test_empty_circuit():
    c = Circ([])
    assert c.nqubits() == 0 and str(c) == "Circuit { () }"
    assert c.representative() == c and c.representative_with_perm() == (c, ())


# ---- display and queries ------------------------------------------------------------------------------------------


def test_display_and_debug_forms():
    c = C("h0 cx01")
    assert str(c) == "Circuit { h(0) cx(0, 1) (0 1) }"
    assert repr(c) == "Circ { instrs: [h(0), cx(0, 1)], perm: (0 1) }"
    assert repr(Circ([])) == "Circ { instrs: [], perm: () }"


@pytest.mark.parametrize(
    "text, perm, affected",
    [("", None, None), ("", [1, 0], 1), ("h0", [0, 1, 2], 0), ("h0", [0, 2, 1], 2), ("cx20", None, 2),
     ("h1", [1, 0, 2], 1)],
)
def test_affected_qubits(text, perm, affected):
    assert probe.circ_affected_qubits(C(text, perm)) == affected


@pytest.mark.parametrize(
    "text, perm, expected_perm",
    [("h0", [0, 1, 2], (0,)),            # nothing above qubit 0 is used or moved
     ("h0", [0, 2, 1], (0, 2, 1)),       # points 1 and 2 are moved: kept
     ("h0", [1, 0, 2], (1, 0)),          # cut just above the largest moved point
     ("h2", [0, 1, 2, 3], (0, 1, 2)),    # the gap below qubit 2 stays
     ("", [0, 1, 2], (0, 1, 2)),         # no instructions: unchanged
     ("", [1, 0, 2], (1, 0, 2))],
)
def test_compact_qubits(text, perm, expected_perm):
    c = C(text, perm)
    out = probe.circ_compact_qubits(c)
    assert out.instrs == [] or shape(out)[0] == shape(c)[0]
    assert out.perm == expected_perm


@pytest.mark.parametrize(
    "text, expected",
    [("h1 h0", "h0 h1"), ("x1 cx01", "x1 cx01"), ("cx01 h0", "cx01 h0"), ("h2 h1 h0", "h0 h1 h2"),
     ("x0 h0", "x0 h0"), ("h1 cx02 h0", "cx02 h0 h1"), ("h2 x1 cx01", "x1 cx01 h2"), ("t3 cx12 h0", "h0 cx12 t3")],
)
def test_reorder_instrs(text, expected):
    out = probe.circ_reorder_instrs(C(text, [0, 1, 2, 3]))
    assert shape(out) == shape(C(expected, [0, 1, 2, 3]))


# ---- transformations ----------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, perm, expected, expected_perm",
    [("swap01 h0", [0, 1], "h1", (1, 0)), ("h0 swap01 swap01", [0, 1], "h0", (0, 1)),
     ("swap01 cx12 swap02", [0, 1, 2], "cx02", (1, 2, 0)), ("h0", [1, 0], "h0", (1, 0)), ("swap01", [1, 0], "", (0, 1))],
)
def test_remove_swaps(text, perm, expected, expected_perm):
    out = C(text, perm).remove_swaps()
    assert shape(out) == (shape(C(expected))[0], expected_perm)


@pytest.mark.parametrize(
    "text, perm, n, expected, expected_perm",
    [("h0 x1", [0, 1], 1, "x1 h0", (0, 1)), ("h0 x1", [0, 1], -1, "x1 h0", (0, 1)),
     ("h0 x1", [0, 1], 0, "h0 x1", (0, 1)), ("h0 x1", [0, 1], 2, "h0 x1", (0, 1)),
     ("h0 x1", [1, 0], 1, "x1 h1", (1, 0)), ("h0 x1", [1, 0], -1, "x0 h0", (1, 0)),
     ("h0 x1 cx12", [1, 2, 0], 2, "cx12 h2 x0", (1, 2, 0)), ("h0 x1 cx12", [1, 2, 0], -2, "x2 cx20 h0", (1, 2, 0))],
)
def test_rotate(text, perm, n, expected, expected_perm):
    assert shape(C(text, perm).rotate(n)) == (shape(C(expected))[0], expected_perm)


@pytest.mark.parametrize("n, shown", [(3, 3), (-3, 3), (2**63 - 1, 2**63 - 1), (-(2**63), 2**63)])
def test_rotate_out_of_range(n, shown):
    with pytest.raises(PanicException) as info:
        C("h0 x1").rotate(n)
    assert str(info.value) == f"range start index {shown} out of range for slice of length 2"


@pytest.mark.parametrize(
    "text, perm, expected, expected_perm",
    [("s0", [0], "sdg0", (0,)), ("cx01", [1, 0], "cx10", (1, 0)), ("h0 t1", [0, 1], "tdg1 h0", (0, 1)),
     ("t0 cx12", [1, 2, 0], "cx20 tdg1", (2, 0, 1)), ("", [1, 0], "", (1, 0))],
)
def test_inverse(text, perm, expected, expected_perm):
    assert shape(C(text, perm).inverse()) == (shape(C(expected))[0], expected_perm)


@pytest.mark.parametrize(
    "a, b, expected, expected_perm",
    [(("h0", [1, 0]), ("x0", None), "h0 x1", (1, 0)), (("h0", None), ("cx12", [2, 0, 1]), "h0 cx12", (2, 0, 1)),
     (("cx01", [1, 0]), ("cx02", [0, 2, 1]), "cx01 cx12", (2, 0, 1)), (("", None), ("", None), "", ())],
)
def test_add(a, b, expected, expected_perm):
    assert shape(C(*a) + C(*b)) == (shape(C(expected))[0], expected_perm)


@pytest.mark.parametrize(
    "text, perm, s, expected, expected_perm",
    [("cx02", [0, 1, 2], [1, 0, 2], "cx12", (0, 1, 2)), ("h0", [1, 0], [1, 0], "h1", (1, 0)),
     ("h0", [1, 2, 0], [1, 0, 2], "h1", (2, 0, 1)), ("h0", [0], [2, 0, 1], "h2", (0, 1, 2)),
     ("h1", [0, 1, 2], [1, 0], "h0", (0, 1, 2))],
)
def test_permut(text, perm, s, expected, expected_perm):
    assert shape(C(text, perm).permut(s)) == (shape(C(expected))[0], expected_perm)


@pytest.mark.parametrize(
    "perm, swaps",
    [([0, 1], []), ([1, 0], ["swap01"]), ([2, 0, 1], ["swap02", "swap01"]), ([1, 0, 2], ["swap01"])],
)
def test_instrs_with_swaps(perm, swaps):
    out = C("h0", perm).instrs_with_swaps()
    assert [str(i) for i in out] == ["h(0)"] + [str(i) for s in swaps for i in parse(s)]


def test_transformations_leave_the_receiver_unchanged():
    c = C("swap01 h0 cx12", [1, 2, 0])
    before = shape(c)
    for out in [c.remove_swaps(), c.inverse(), c.rotate(1), c.rotate(-2), c.permut([2, 1, 0]), c + c,
                c.representative(), c.representative_with_perm()[0], probe.circ_compact_qubits(c),
                probe.circ_reorder_instrs(c)]:
        assert isinstance(out, Circ)
    assert shape(c) == before


# ---- indexing, iteration, order, hash ------------------------------------------------------------------------------


@pytest.mark.parametrize("idx, expected", [(0, "h(0)"), (2, "t(1)"), (-1, "t(1)"), (3, "h(0)"), (-4, "t(1)"),
                                           (3 * 10**9 + 1, "cx(0, 1)"), (-(2**63), "cx(0, 1)")])
def test_indexing_is_modulo_the_length(idx, expected):
    assert str(C("h0 cx01 t1")[idx]) == expected


def test_indexing_failures_and_iteration():
    with pytest.raises(PanicException) as info:
        Circ([])[0]
    assert str(info.value) == "attempt to calculate the remainder with a divisor of zero"
    with pytest.raises(OverflowError):
        C("h0")[2**63]
    c = C("h0 cx01 t1")
    assert [str(i) for i in c] == ["h(0)", "cx(0, 1)", "t(1)"] and list(Circ([])) == []


# Circuits in increasing order, as (instructions, permutation).
ORDERED = [
    ("", []), ("", [0]), ("", [1, 0]),
    ("cx01", None), ("h0", None), ("x0", None), ("h1", [1, 0]), ("h1", None), ("h1", [0, 1, 2]),
    ("cx01 h0", None), ("h0 cx01", None), ("h0 h0", None), ("h0 h0", [0, 1]),
]


@pytest.mark.parametrize("i, j", list(itertools.combinations(range(len(ORDERED)), 2)))
def test_order(i, j):
    a, b = C(*ORDERED[i]), C(*ORDERED[j])
    assert a < b and a <= b and b > a and b >= a and a != b and not a == b


def test_equality_hash_and_foreign_operands():
    a, b = C("h0 cx01", [1, 0]), C("h0 cx01", [1, 0])
    assert a == b and not a != b and hash(a) == hash(b) and a <= b and not a < b
    assert Circ([]) <= Circ([]) and not Circ([]) < Circ([])
    assert hash(C("h0")) != hash(C("h0", [0, 1]))
    assert (a == 5) is False and (a != 5) is True
    with pytest.raises(TypeError):
        a < 5


# ---- canonical forms ----------------------------------------------------------------------------------------------


def literal_representative(c):
    """The canonical form computed step by step from the public transformations: the least candidate over all
    relabellings, with the smallest relabelling (as a packed word) among equal ones."""
    c = probe.circ_compact_qubits(c).remove_swaps()
    if c.is_empty():
        return c, ()

    def packed(s):
        return sum(v << (3 * i) for i, v in enumerate(s)) | (len(s) << 24)

    cands = []
    for s in itertools.permutations(range(c.nqubits())):
        d = probe.circ_compact_qubits(probe.circ_reorder_instrs(c.permut(list(s))))
        cands.append((d, packed(s), s))
    best = min(cands, key=lambda t: (t[0], t[1]))
    return best[0], best[2]


@pytest.mark.parametrize(
    "a, b, expected",
    [(("h1", [0, 1]), ("h0", None), ("h0", None)), (("cx10 h1", None), ("cx01 h0", None), ("cx01 h0", None)),
     (("h2 t0", [0, 1, 2]), ("t1 h0", None), ("h0 t1", None)), (("swap01 h0", None), ("h0", [1, 0]), ("h0", [1, 0])),
     (("swap01", None), ("", [1, 0]), ("", [1, 0]))],
)
def test_representative_examples(a, b, expected):
    a, b = C(*a), C(*b)
    assert a.representative() == b.representative()
    assert shape(a.representative()) == shape(C(*expected))


@settings(max_examples=60, deadline=None)
@given(circuits(), st.data())
def test_representative_is_invariant_under_relabelling(c, data):
    # A circuit left without instructions once its SWAPs are folded is its own representative, permutation and all.
    assume(not c.remove_swaps().is_empty())
    s = data.draw(relabellings(c.nqubits()))
    assert c.permut(s).representative() == c.representative()


@settings(max_examples=60, deadline=None)
@given(circuits())
def test_representative_with_perm_matches_the_literal_search(c):
    rep, s = c.representative_with_perm()
    assert (rep, s) == literal_representative(c)
    assert rep == c.representative()


@settings(max_examples=60, deadline=None)
@given(circuits())
def test_representative_is_a_relabelling_of_the_circuit(c):
    rep, s = c.representative_with_perm()
    n = c.nqubits()
    if not s:
        return
    sm = perm_matrix(list(s) + list(range(len(s), n)), n)
    assert np.allclose(unitary(rep, n), sm @ unitary(c, n) @ sm.T)


@settings(max_examples=60, deadline=None)
@given(circuits(max_qubits=5, max_len=10))
def test_representative_matches_the_plain_composition(c):
    # The buffered search against one fresh circuit per candidate, on sizes the Python search would be slow for.
    assert c.representative() == probe.plain_representative(c)


# ---- laws against exact unitaries ---------------------------------------------------------------------------------


@settings(max_examples=60, deadline=None)
@given(circuits())
def test_circuit_followed_by_its_inverse_is_the_identity(c):
    n = c.nqubits()
    assert equal_up_to_phase(unitary(c + c.inverse(), n), np.eye(1 << n))
    assert equal_up_to_phase(unitary(c.inverse(), n), unitary(c, n).conj().T)


@settings(max_examples=60, deadline=None)
@given(circuits(), circuits())
def test_add_composes_the_operators(a, b):
    n = max(a.nqubits(), b.nqubits())
    assert np.allclose(unitary(a + b, n), unitary(b, n) @ unitary(a, n))


@settings(max_examples=60, deadline=None)
@given(circuits(), st.data())
def test_permut_conjugates_by_the_relabelling(c, data):
    n = c.nqubits()
    s = data.draw(relabellings(n))
    sm = perm_matrix(s, n)
    assert np.allclose(unitary(c.permut(s), n), sm @ unitary(c, n) @ sm.T)


@settings(max_examples=60, deadline=None)
@given(circuits())
def test_swap_folding_and_spelling_out_keep_the_operator(c):
    n = c.nqubits()
    u = unitary(c, n)
    folded = c.remove_swaps()
    assert all(str(i.gate) != "swap" for i in folded.instrs)
    assert np.allclose(unitary(folded, n), u)
    spelled = Circ(c.instrs_with_swaps(), list(range(n)))
    assert np.allclose(unitary(spelled, n), u)
    assert np.allclose(unitary(probe.circ_reorder_instrs(c), n), u)
    assert np.allclose(unitary(probe.circ_compact_qubits(c), n), u)


@settings(max_examples=60, deadline=None)
@given(circuits(), st.data())
def test_rotation_conjugates_by_the_moved_instructions(c, data):
    n = c.nqubits()
    k = data.draw(st.integers(-len(c), len(c)))
    rotated = c.rotate(k)
    moved = Circ(c.instrs[:k] if k >= 0 else c.instrs[k:], list(range(n)))
    um = unitary(moved, n)
    if k >= 0:
        expected = um @ unitary(c, n) @ um.conj().T
    else:
        expected = unitary(c, n)
        p = perm_matrix(list(c.perm), n)
        # The last |k| instructions, relabelled by P, come first: the operator is conjugated by P V P^-1.
        v = p @ um @ p.T
        expected = v.conj().T @ expected @ v
    assert np.allclose(unitary(rotated, n), expected)
    assert len(rotated) == len(c)
