"""Compact instructions: qubit arguments, construction checks, ordering, masks, permutations, display and hash."""

import struct

import numpy as np
import pytest
from hypothesis import given, strategies as st

from tandrel import Gate, Instr, PanicException
from tandrel import _probe as probe
from support.siphash_ref import python_hash_of_bytes

# Gates are named by display string in the tables and looked up in the tests, so that no test data holds Python
# objects of the module beyond the test that uses them.
HANDLES = {"h": 1, "x": 2, "s": 5, "cx": 9, "swap": 14}


def gate(name):
    return Gate.from_name(name)


def instr(name, qargs):
    return Instr(gate(name), qargs)


def qubits(i):
    return list(i.qargs)


# ---- QArgs16 --------------------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "values, raw, length",
    [([], b"\xff\xff", 0), ([3], b"\x03\xff", 1), ([1, 2], b"\x01\x02", 2), ([7, 0], b"\x07\x00", 2),
     ([0xFF, 4], b"\xff\x04", 0)],
)
def test_qargs_from_iter(values, raw, length):
    assert probe.qargs_from_iter(values) == (raw, length)


def test_qargs_third_value_is_an_index_failure():
    with pytest.raises(PanicException) as info:
        probe.qargs_from_iter([0, 1, 2])
    assert str(info.value) == "index out of bounds: the len is 2 but the index is 2"


@pytest.mark.parametrize(
    "pair, present, absent",
    [((0xFF, 0xFF), [], [0, 0xFF]), ((2, 0xFF), [2], [0, 0xFF]), ((2, 5), [2, 5], [0, 0xFF]), ((0xFF, 5), [], [5])],
)
def test_qargs_contains(pair, present, absent):
    assert all(probe.qargs_contains(*pair, q) for q in present)
    assert not any(probe.qargs_contains(*pair, q) for q in absent)


@pytest.mark.parametrize("pair, index", [((0xFF, 0xFF), 0), ((3, 0xFF), 1), ((3, 4), 2)])
def test_qargs_indexing_bounds(pair, index):
    assert [probe.qargs_get(*pair, i) for i in range(index)] == list(pair[:index])
    with pytest.raises(PanicException) as info:
        probe.qargs_get(*pair, index)
    assert str(info.value) == f"index out of bounds: the len is {index} but the index is {index}"


@pytest.mark.parametrize(
    "a, b, expected",
    [((0, 1), (0, 0xFF), -1), ((0, 0xFF), (1, 0xFF), -1), ((1, 0), (0, 7), 1), ((2, 3), (2, 3), 0),
     ((0xFF, 0xFF), (7, 6), 1), ((200, 0), (100, 0), 1)],
)
def test_qargs_order_is_unsigned_lexicographic(a, b, expected):
    assert probe.qargs_cmp(*a, *b) == expected


# ---- construction ---------------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "name, qargs, text, mask, largest, positions",
    [
        ("h", [0], "h(0)", 1, 0, {0: 0, 1: None}),
        ("cx", [1, 0], "cx(1, 0)", 3, 1, {1: 0, 0: 1, 2: None}),
        ("swap", [2, 7], "swap(2, 7)", 0b10000100, 7, {2: 0, 7: 1, 3: None}),
        ("rz(pi/3)", [0], "rz(pi/3)(0)", 1, 0, {0: 0}),
        ("x", [5], "x(5)", 32, 5, {5: 0, 0: None}),
        ("h", [200], "h(200)", 1 << (200 & 7), 200, {200: 0}),  # mask bits are taken modulo 8
    ],
)
def test_instruction_members(name, qargs, text, mask, largest, positions):
    i = instr(name, qargs)
    assert i.qargs == bytes(qargs) and isinstance(i.qargs, bytes)
    assert i.gate == gate(name)
    assert (str(i), repr(i)) == (text, text)
    assert i.arg_mask() == mask and i.largest_qubit() == largest
    assert {q: i.position_of_qubit(q) for q in positions} == positions


def test_gate_without_qubits():
    g = Gate("glob", [], np.array([[0.28 + 0.96j]]))  # a matrix no other test registers
    i = Instr(g, [])
    assert (str(i), i.qargs, i.arg_mask(), i.largest_qubit()) == ("glob()", b"", 0, 0)
    assert i.pass_mask(0b101) == 0b101


@pytest.mark.parametrize(
    "name, qargs, message",
    [
        ("cx", [0, 0], "Qubit arguments must be unique"),
        ("h", [0, 1], "Number of qubit arguments does not match gate arity"),
        ("h", [0, 0], "Number of qubit arguments does not match gate arity"),  # the count is tested first
        ("cx", [3], "Number of qubit arguments does not match gate arity"),
        ("h", [], "Number of qubit arguments does not match gate arity"),
        # 255 marks an empty slot: taken as a qubit it would make h(255) an instruction without qubits
        ("h", [255], "Qubit index 255 is reserved for an absent qubit argument"),
        ("cx", [0, 255], "Qubit index 255 is reserved for an absent qubit argument"),
        ("cx", [255, 254], "Qubit index 255 is reserved for an absent qubit argument"),
    ],
)
def test_construction_failures(name, qargs, message):
    with pytest.raises(PanicException) as info:
        instr(name, qargs)
    assert str(info.value) == message


def test_three_qubit_gate_cannot_form_an_instruction():
    ccx = Gate("ccx", [], np.eye(8, dtype=np.complex128)[[0, 1, 2, 3, 4, 5, 7, 6]])
    with pytest.raises(PanicException) as info:
        Instr(ccx, [0, 1, 2])
    assert str(info.value) == "index out of bounds: the len is 2 but the index is 2"
    with pytest.raises(PanicException, match="Qubit arguments must be unique"):
        Instr(ccx, [0, 1, 1])


@pytest.mark.parametrize("qargs, error", [([256], OverflowError), ([-1], OverflowError), ("0", TypeError),
                                          ([1.0], TypeError), (0, TypeError), (None, TypeError)])
def test_qubit_conversion_errors(qargs, error):
    with pytest.raises(error):
        instr("h", qargs)


@pytest.mark.parametrize("qargs", [(3,), [3], b"\x03", range(3, 4), np.array([3], dtype=np.int64)])
def test_any_integer_sequence_is_accepted(qargs):
    assert str(instr("h", qargs)) == "h(3)"


def test_gate_argument_must_be_a_gate():
    with pytest.raises(TypeError):
        Instr("h", [0])
    with pytest.raises(TypeError):
        Instr(instr("h", [0]), [0])


# ---- masks ----------------------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "name, qargs, mask, expected",
    [
        ("cx", [0, 1], 0, 0b11),
        ("cx", [1, 0], 0, None),  # qubit 1 is fresh but 0 is the lowest free one
        ("cx", [1, 0], 0b1, 0b11),
        ("h", [2], 0b1, None),
        ("h", [0], 0, 1),
        ("h", [0], 0b110, 0b111),  # the lowest clear bit decides, not the highest set one
        ("h", [2], 0b1010, None),
        ("h", [0], 0b1, 0b1),
        ("h", [5], 0b11111, 0b111111),
        ("h", [3], 0b11111, 0b11111),
        ("cx", [2, 0], 0b011, 0b111),
        ("cx", [3, 2], 0b011, None),
        ("cx", [2, 3], 0b011, 0b1111),
        ("h", [7], 0x7F, 0xFF),
        ("h", [0], 0xFF, 0xFF),
    ],
)
def test_pass_mask(name, qargs, mask, expected):
    assert instr(name, qargs).pass_mask(mask) == expected


@pytest.mark.parametrize(
    "a, b, disjoint",
    [(("cx", [0, 1]), ("h", [2]), True), (("cx", [0, 1]), ("h", [1]), False), (("h", [3]), ("h", [3]), False),
     (("swap", [4, 5]), ("cx", [6, 7]), True), (("h", [0]), ("h", [8]), False)],  # 8 shares bit 0
)
def test_disjoint(a, b, disjoint):
    assert instr(*a).disjoint(instr(*b)) is disjoint
    assert instr(*b).disjoint(instr(*a)) is disjoint


one_qubit = st.builds(lambda q: ("h", [q]), st.integers(0, 7))
two_qubit = st.lists(st.integers(0, 7), min_size=2, max_size=2, unique=True).map(lambda qs: ("cx", qs))
circuits = st.lists(one_qubit | two_qubit, max_size=8)


@given(circuits)
def test_pass_mask_scan_accepts_labels_introduced_in_order(circuit):
    first_seen = []
    for _, qs in circuit:
        first_seen += [q for q in qs if q not in first_seen]
    in_order = first_seen == list(range(len(first_seen)))

    mask = 0
    for name, qs in circuit:
        mask = instr(name, qs).pass_mask(mask)
        if mask is None:
            break
    assert (mask is not None) == in_order
    if in_order:
        assert mask == (1 << len(first_seen)) - 1


# ---- permutations and adjoints -------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "name, qargs, perm, expected",
    [
        ("cx", [0, 2], (1, 0, 2), "cx(1, 2)"),
        ("cx", [0, 1], (2, 0, 1), "cx(2, 0)"),
        ("h", [3], (0, 1, 2, 3), "h(3)"),
        ("h", [3], (3, 2, 1, 0), "h(0)"),
        ("cx", [0, 2], (1, 0), "cx(1, 2)"),  # qubits beyond the permutation stay where they are
        ("cx", [1, 2], (1, 0), "cx(0, 2)"),
        ("h", [7], (), "h(7)"),
    ],
)
def test_apply_permutation(name, qargs, perm, expected):
    i = instr(name, qargs)
    assert str(i.apply_permutation(perm)) == expected
    assert str(i.permut(list(perm))) == expected
    assert str(i) == f"{name}({', '.join(map(str, qargs))})"  # unchanged


def test_apply_permutation_qubit_out_of_range():
    with pytest.raises(PanicException) as info:
        instr("h", [8]).apply_permutation((0, 1))
    assert str(info.value) == "assertion failed: idx < 8"


@given(st.permutations(range(8)), one_qubit | two_qubit)
def test_apply_permutation_maps_every_qubit(perm, op):
    name, qs = op
    moved = instr(name, qs).apply_permutation(perm)
    assert qubits(moved) == [perm[q] for q in qs] and moved.gate == gate(name)
    inverse = [perm.index(k) for k in range(8)]
    assert qubits(moved.apply_permutation(inverse)) == qs
    assert moved.arg_mask() == sum(1 << perm[q] for q in qs)


@pytest.mark.parametrize(
    "name, qargs, expected",
    [("s", [3], "sdg(3)"), ("h", [0], "h(0)"), ("cx", [4, 1], "cx(4, 1)"), ("rz(pi/3)", [2], "rz(-pi/3)(2)"),
     ("t1/2", [1], "tdg1/2(1)")],
)
def test_adjoint(name, qargs, expected):
    a = instr(name, qargs).adjoint()
    assert str(a) == expected and qubits(a) == qargs


def test_adjoint_of_user_gate_registers_it():
    m = np.array([[np.cos(0.77), -np.sin(0.77)], [np.sin(0.77), np.cos(0.77)]], dtype=np.complex128)
    u = Gate("rot", ["w"], m)
    a = Instr(u, [6]).adjoint()
    assert str(a) == "rot\u2020(w)(6)" and a.gate == u.adjoint()
    assert a.adjoint().gate == u


# ---- order, layout and hash ----------------------------------------------------------------------------------------


def test_sorting_example():
    items = [instr("h", [1]), instr("cx", [0, 1]), instr("h", [0]), instr("x", [0])]
    assert [str(i) for i in probe.instr_sorted(items)] == ["cx(0, 1)", "h(0)", "x(0)", "h(1)"]


def sort_key(i):
    qs = list(i.qargs) + [0xFF] * (2 - len(i.qargs))
    return (qs, probe.gate_handle(i.gate))


instructions = st.builds(
    lambda name, qs: instr(name, qs[: gate(name).nqargs]),
    st.sampled_from(sorted(HANDLES)),
    st.lists(st.integers(0, 7), min_size=2, max_size=2, unique=True),
)


@given(st.lists(instructions, max_size=12))
def test_order_is_qubits_then_handle(items):
    assert [sort_key(i) for i in probe.instr_sorted(items)] == sorted(sort_key(i) for i in items)


@given(instructions, instructions)
def test_order_equality_and_hash_agree(a, b):
    same = (bytes(a.qargs), probe.gate_handle(a.gate)) == (bytes(b.qargs), probe.gate_handle(b.gate))
    assert probe.instr_eq(a, b) is same
    assert (probe.instr_cmp(a, b) == 0) is same
    assert probe.instr_cmp(a, b) == -probe.instr_cmp(b, a)
    assert probe.instr_cmp(a, b) == (sort_key(a) > sort_key(b)) - (sort_key(a) < sort_key(b))
    if same:
        assert hash(a) == hash(b)


@pytest.mark.parametrize("name, qargs", [("h", [0]), ("cx", [1, 0]), ("swap", [7, 3]), ("x", [254])])
def test_layout_is_four_bytes(name, qargs):
    raw = bytes(qargs) + b"\xff" * (2 - len(qargs))
    assert probe.instr_layout(instr(name, qargs)) == struct.pack("<H", HANDLES[name]) + raw


@pytest.mark.parametrize("name, qargs", [("h", [0]), ("cx", [1, 0]), ("rz(pi/3)", [4]), ("swap", [0, 7])])
def test_hash_is_siphash_of_handle_and_qubits(name, qargs):
    data = struct.pack("<H", probe.gate_handle(gate(name))) + bytes(qargs)
    assert hash(instr(name, qargs)) == python_hash_of_bytes([data])[0]


def test_no_equality_of_its_own():
    a, b = instr("h", [0]), instr("h", [0])
    assert a != b and not (a == b) and a == a
    assert hash(a) == hash(b)
    assert hash(instr("h", [0])) != hash(instr("h", [1]))
    with pytest.raises(TypeError):
        a < b
    with pytest.raises(TypeError):
        type("Sub", (Instr,), {})
    assert Instr.__module__ == "builtins"


@pytest.mark.parametrize(
    "member, signature, doc",
    [
        ("__init__", None, "Creates a compact instruction from a gate and integer qubit arguments."),
        ("apply_permutation", "($self, perm)", "Applies a qubit permutation."),
        ("permut", "($self, perm)", "Alias of `apply_permutation`."),
        ("arg_mask", "($self)", "Bitmask of qubits touched by this instruction."),
        ("pass_mask", "($self, mask)", "Updates a frontier mask for left-to-right scheduling checks."),
        ("largest_qubit", "($self)", "Largest qubit index touched by this instruction."),
        ("disjoint", "($self, other)", "Returns `true` when this and `other` touch disjoint qubits."),
        ("adjoint", "($self)", "Returns the adjoint instruction."),
        ("position_of_qubit", "($self, qubit)", "Returns position of `qubit` in argument list, if present."),
    ],
)
def test_method_docstrings(member, signature, doc):
    f = getattr(Instr, member)
    assert f.__doc__ == doc
    if signature is not None:
        assert f.__text_signature__ == signature


def test_attributes_and_class_docstring():
    assert Instr.__dict__["gate"].__doc__ == "Underlying gate."
    assert Instr.__dict__["qargs"].__doc__ == "Qubit arguments as dense integer indices."
    assert Instr.__text_signature__ == "(gate, qargs)"
    assert Instr.__doc__ == "A compact, index-only quantum instruction used internally by the search/prover."
    with pytest.raises(AttributeError):
        instr("h", [0]).qargs = b"\x01"
