"""The object form of circuits: writing, reading with every rule and message, round trips."""

import collections
import types
from collections.abc import Mapping, Sequence

import pytest
from hypothesis import given, settings, strategies as st

from tandrel import Circ, Gate, IdentityCirc, Instr, PanicException
from tandrel import _probe as probe

ID1 = {"raw": 16777216}  # the identity of length 1


def I(name, *qargs):  # noqa: E743
    return Instr(Gate.from_name(name), list(qargs))


def form(instrs, perm=ID1):
    return {"instrs": instrs, "perm": perm}


class ListedMapping(Mapping):
    """A mapping whose key list is given as it is, repeats included; values are looked up by position."""

    def __init__(self, items):
        self._items = list(items)

    def keys(self):
        return [k for k, _ in self._items]

    def values(self):
        return [v for _, v in self._items]

    def __getitem__(self, key):
        return dict(self._items)[key]

    def __iter__(self):
        return iter(self.keys())

    def __len__(self):
        return len(self._items)


class Pair(Sequence):
    """A sequence that is neither a list nor a tuple."""

    def __init__(self, *items):
        self._items = items

    def __getitem__(self, i):
        return self._items[i]

    def __len__(self):
        return len(self._items)


@st.composite
def circuits(draw):
    n = draw(st.integers(1, 4))
    names = ["h", "x", "t", "s", "rz(pi/3)"] + (["cx", "swap", "cz"] if n > 1 else [])
    instrs = []
    for _ in range(draw(st.integers(0, 5))):
        g = Gate.from_name(draw(st.sampled_from(names)))
        instrs.append(Instr(g, draw(st.permutations(range(n)))[: g.nqargs]))
    return Circ(instrs, draw(st.permutations(range(n))))


# ---- writing ------------------------------------------------------------------------------------------------------


def test_written_forms():
    h = IdentityCirc(Circ([I("h", 0), I("h", 0)]))
    assert h.pythonize() == {"instrs": [("h", (0, 255)), ("h", (0, 255))], "perm": {"raw": 16777216}}
    assert list(h.pythonize()) == ["instrs", "perm"]
    cx = Circ([I("cx", 0, 1), I("cx", 0, 1)])
    assert probe.circ_to_object(cx) == {"instrs": [("cx", (0, 1)), ("cx", (0, 1))], "perm": {"raw": 33554440}}
    assert probe.circ_to_object(Circ([])) == {"instrs": [], "perm": {"raw": 0}}
    assert probe.circ_to_object(Circ([I("rz(pi/3)", 0)])) == form([("rz(pi/3)", (0, 255))])


@settings(max_examples=80, deadline=None)
@given(circuits())
def test_round_trip(c):
    obj = probe.circ_to_object(c)
    back = probe.circ_from_object(obj)
    assert back == c and probe.circ_to_object(back) == obj
    assert IdentityCirc.from_python(obj).inner == c


def test_written_objects_are_new():
    h = IdentityCirc(Circ([I("h", 0), I("h", 0)]))
    a = h.pythonize()
    a["instrs"].clear()
    assert h.pythonize()["instrs"] != []


# ---- reading: accepted shapes -------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "obj, expected",
    [(form([["h", [0, 255]]], {"raw": 16777216}), form([("h", (0, 255))])),                 # lists for tuples
     (form((("h", (0, 255)),)), form([("h", (0, 255))])),                                   # a tuple of instructions
     ({"note": 1, "instrs": [], "perm": {"x": None, "raw": 0}, "more": "ignored"}, form([], {"raw": 0})),
     (form(""), form([])),                                                                   # a str is a sequence
     (form([Pair("cx", Pair(3, 3))]), form([("cx", (3, 3))])),                               # other sequences
     (form([("h", (255, 2))]), form([("h", (255, 2))])),                                     # stored unchanged
     (form([("cx", b"\x01\x00")]), form([("cx", (1, 0))])),
     (form([("h", (0, 255))], {"raw": 0xFFFFFFFF}), form([("h", (0, 255))], {"raw": 0xFFFFFFFF})),
     (collections.OrderedDict(perm=ID1, instrs=[]), form([])),
     (types.MappingProxyType({"instrs": [], "perm": types.MappingProxyType(ID1)}), form([])),
     (ListedMapping([("instrs", []), ("perm", ListedMapping([("raw", 5)]))]), form([], {"raw": 5}))],
)
def test_accepted_forms(obj, expected):
    assert probe.circ_to_object(probe.circ_from_object(obj)) == expected


@pytest.mark.parametrize("container", [set, frozenset])
def test_sets_are_instruction_lists(container):
    c = probe.circ_from_object(form(container([("h", (0, 255))])))
    assert probe.circ_to_object(c) == form([("h", (0, 255))])
    two = probe.circ_from_object(form(container([("h", (0, 255)), ("x", (0, 255))])))
    assert sorted(str(i) for i in two.instrs) == ["h(0)", "x(0)"]


def test_gate_strings_are_exact_display_strings():
    c = probe.circ_from_object(form([("rz(pi/3)", (0, 255))]))
    assert probe.gate_handle(c.instrs[0].gate) == 17
    with pytest.raises(PanicException) as info:
        probe.circ_from_object(form([("H", (0, 255))]))
    assert str(info.value) == "Failed to deserialize Gate16 from H"


def test_reading_does_not_check_the_identity_property():
    ident = IdentityCirc.from_python(form([("h", (0, 255))]))
    assert str(ident) == "Identity { h(0) (0) }"


# ---- reading: failures --------------------------------------------------------------------------------------------


def unexpected(type_name, target):
    return f"unexpected type: '{type_name}' object cannot be converted to '{target}'"


@pytest.mark.parametrize(
    "obj, exc, message",
    [([1], TypeError, unexpected("list", "Mapping")),
     (None, TypeError, unexpected("NoneType", "Mapping")),
     ({1: 2}, TypeError, "dict keys must have type str"),
     ({"perm": {"raw": 0}}, Exception, "missing field `instrs`"),
     ({}, Exception, "missing field `instrs`"),
     ({"instrs": []}, Exception, "missing field `perm`"),
     ({"instrs": [], "perm": {}}, Exception, "missing field `raw`"),
     ({"instrs": [], "perm": 5}, TypeError, unexpected("int", "Mapping")),
     ({"instrs": [], "perm": {0: 1}}, TypeError, "dict keys must have type str"),
     (form(5), TypeError, unexpected("int", "Sequence")),
     (form({"h": (0, 255)}), TypeError, unexpected("dict", "Sequence")),
     (form([("h", 0)]), TypeError, unexpected("int", "Sequence")),
     (form([5]), TypeError, unexpected("int", "Sequence")),
     (form([(5, (0, 255))]), TypeError, unexpected("int", "PyString")),
     (form([("h", (0, 255, 0))]), ValueError, "expected sequence of length 2, got 3"),
     (form([("h",)]), ValueError, "expected sequence of length 2, got 1"),
     (form(["abc"]), ValueError, "expected sequence of length 2, got 3"),
     (form([("h", (0, 256))]), OverflowError, None),
     (form([("h", (-1, 255))]), OverflowError, None),
     (form([("h", (0.0, 255))]), TypeError, None),
     (form([], {"raw": -1}), OverflowError, None),
     (form([], {"raw": 2**32}), OverflowError, None),
     (form([], {"raw": "1"}), TypeError, None),
     (ListedMapping([("instrs", []), ("instrs", [])]), Exception, "duplicate field `instrs`"),
     (ListedMapping([("perm", ID1), ("instrs", []), ("perm", ID1)]), Exception, "duplicate field `perm`"),
     (form([], ListedMapping([("raw", 1), ("raw", 1)])), Exception, "duplicate field `raw`")],
)
def test_read_failures(obj, exc, message):
    with pytest.raises(Exception) as info:
        probe.circ_from_object(obj)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message


@pytest.mark.parametrize(
    "obj, exc, message",
    [({"perm": 5, "instrs": 7}, TypeError, unexpected("int", "Mapping")),
     ({"instrs": 7, "perm": 5}, TypeError, unexpected("int", "Sequence")),
     ({"instrs": [("H", (0, 255))], "perm": 5}, PanicException, "Failed to deserialize Gate16 from H"),
     ({"perm": 5, "instrs": [("H", (0, 255))]}, TypeError, unexpected("int", "Mapping")),
     (form([("h", 0), ("h", (0, 1, 2))]), TypeError, unexpected("int", "Sequence")),
     (form([("H", 0)]), PanicException, "Failed to deserialize Gate16 from H"),
     ({"instrs": [], "perm": {"raw": -1}, 3: 4}, OverflowError, None),
     ({"instrs": [], 3: 4, "perm": {"raw": -1}}, TypeError, "dict keys must have type str")],
)
def test_the_first_failure_in_key_order_is_reported(obj, exc, message):
    with pytest.raises(BaseException) as info:
        IdentityCirc.from_python(obj)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message


# ---- later operations on unchecked circuits ---------------------------------------------------------------------


# Words whose length field claims more than 8 points: their entries cannot be read, so handing the permutation to
# Python is an internal failure rather than an abort of the process.
@pytest.mark.parametrize("raw", [0x09000000, 0x0FFFFFFF, 0xFFFFFFFF])
@pytest.mark.parametrize(
    "operation",
    [lambda c: c.perm, lambda c: c.representative_with_perm(), lambda c: Circ(c.instrs, c.perm)],
)
def test_unreadable_permutation_word_fails_when_returned(raw, operation):
    ident = IdentityCirc.from_python(form([], {"raw": raw}))
    with pytest.raises(PanicException):
        operation(ident.inner)
    assert ident.pythonize() == form([], {"raw": raw})
