"""StateVec: construction, normalisation, phase canonicalisation, hash, display and Python conventions."""

import math
import struct

import pytest

import tandrel
from tandrel import Gate, Instr, PanicException, StateVec
from support.siphash_ref import python_hash_of_bytes, reduce_hash


def grid(x):
    """The 2^-24 grid bucket, computed here independently (round half away from zero)."""
    y = x * 16777216.0
    return int(math.floor(abs(y) + 0.5)) * (1 if y >= 0 else -1)


def hash_stream(re, im):
    out = struct.pack("<I", len(re)) + b"".join(struct.pack("<q", grid(x)) for x in re)
    return out + struct.pack("<I", len(im)) + b"".join(struct.pack("<q", grid(x)) for x in im)


def parts(s):
    return [s[i].real for i in range(s.len())], [s[i].imag for i in range(s.len())]


@pytest.mark.parametrize(
    "re, im, message",
    [
        ([1.0, 0.0], [0.0], "assertion `left == right` failed: Real and imaginary parts must have the same length"
         "\n  left: 2\n right: 1"),
        ([1.0, 0.0, 0.0], [0.0, 0.0, 0.0], "Length must be a power of 2"),
        ([], [], "Length must be a power of 2"),
    ],
)
def test_constructor_failures(re, im, message):
    with pytest.raises(PanicException) as info:
        StateVec(re, im)
    assert str(info.value) == message


def test_panic_is_not_an_exception():
    assert issubclass(PanicException, BaseException) and not issubclass(PanicException, Exception)
    caught = None
    try:
        try:
            StateVec([1.0], [1.0, 0.0])
        except Exception:  # must not catch it
            caught = "Exception"
    except BaseException as e:
        caught = type(e)
    assert caught is PanicException
    assert PanicException.__doc__


def test_unnormalised_then_normalize():
    s = StateVec([2.0], [2.0])
    assert s[0] == 2 + 2j and not s.check()
    s.normalize()
    assert str(s) == "[1.0000]" and s.check() and s[0].imag == 0.0


def test_normalize_zero_vector_gives_nan():
    s = StateVec([0.0, 0.0], [0.0, 0.0])
    s.normalize()
    assert all(math.isnan(s[i].real) for i in range(2))
    assert s[0].imag == 0.0 and math.isnan(s[1].imag)


def test_normalize_arg_uses_last_amplitude_when_first_is_zero():
    s = StateVec([0.0, 0.0], [0.0, 1.0])
    s.normalize_arg()
    assert s[1] == pytest.approx(1.0) and s[0].imag == 0.0 and math.copysign(1, s[0].imag) == 1


def test_normalize_arg_falls_back_to_sum():
    s = StateVec([0.0, 0.3, -0.2, 0.0], [0.0, 0.4, 0.1, 0.0])
    s.normalize_arg()
    total = s[1] + s[2]  # the sum's phase became real and positive
    assert total.imag == pytest.approx(0.0, abs=1e-15) and total.real > 0


@pytest.mark.parametrize("n", [0, 1, 3, 6])
def test_random_states(n):
    for make in (StateVec.random, StateVec.random_symmetric):
        s = make(n)
        assert s.check() and s.len() == 2**n and s.nqubits() == n
        first = s[0]
        assert first.imag == 0.0 and first.real >= 0.0


def test_random_symmetric_depends_on_weight_only():
    s = StateVec.random_symmetric(4)
    by_weight = {}
    for i in range(16):
        by_weight.setdefault(bin(i).count("1"), []).append(s[i])
    for values in by_weight.values():
        assert all(v == values[0] for v in values)
    assert StateVec.random(3) != StateVec.random(3)


def test_qubit_count_overflow_and_allocation():
    with pytest.raises(PanicException, match=r"^Number of qubits too large, resulting in overflow for state vector size\.$"):
        StateVec.random(32)
    with pytest.raises(MemoryError):
        StateVec.random(31)


def test_indexing():
    s = StateVec([0.6, 0.0], [0.0, 0.8])
    with pytest.raises(PanicException, match="^index out of bounds: the len is 2 but the index is 2$"):
        s[2]
    with pytest.raises(PanicException, match="the len is 2 but the index is 5"):
        s[5] = 1j
    with pytest.raises(OverflowError):
        s[-1]
    with pytest.raises(NotImplementedError, match="can't delete item"):
        del s[0]
    with pytest.raises(PanicException):  # iteration runs into the index check
        list(s)
    s[1] = 3
    s[0] = 0.25 - 1j
    assert s[1] == 3 + 0j and s[0] == 0.25 - 1j


def test_hash_is_siphash_of_the_grid_stream():
    vectors = [StateVec.random(2), StateVec([0.6, 0.0], [0.0, 0.8]), StateVec([1.0], [0.0])]
    expected = python_hash_of_bytes([hash_stream(*parts(v)) for v in vectors])
    assert [reduce_hash(v.hash_value()) for v in vectors] == expected


def test_hash_and_equality_on_the_grid():
    s = StateVec.random(3)
    assert s.clone() == s and s.clone().hash_value() == s.hash_value()
    re, im = parts(s)
    centre = round(re[0] * 2**24) / 2**24  # the middle of its grid bucket
    base = StateVec([centre] + re[1:], im)
    nudged = StateVec([centre + 2.0**-30] + re[1:], im)  # same grid bucket
    moved = StateVec([centre + 2.0**-23] + re[1:], im)  # two buckets up
    assert nudged == base and nudged.hash_value() == base.hash_value()
    assert moved != base and moved.hash_value() != base.hash_value()


def test_clone_is_deep():
    s = StateVec([1.0, 0.0], [0.0, 0.0])
    c = s.clone()
    c[1] = 1.0
    assert s[1] == 0 and c != s


@pytest.mark.parametrize(
    "re, im, text",
    [
        ([0.6, 0.0], [0.0, 0.8], "[0.6000, 0.8000j]"),
        ([0.5, 0.5], [0.5, -0.5], "[0.5000+0.5000j, 0.5000-0.5000j]"),
        ([0.7071067811865476, -0.7071067811865476], [0.0, 0.0], "[0.7071, -0.7071]"),
        ([0.0, 0.0], [-0.5, 1e-9], "[-0.5000j, 0.0000]"),
    ],
)
def test_display(re, im, text):
    assert str(StateVec(re, im)) == text


def test_python_conventions():
    s = StateVec.random(1)
    assert (s == 5) is False and (s != 5) is True
    with pytest.raises(TypeError):
        s < StateVec.random(1)
    with pytest.raises(TypeError):
        hash(s)
    with pytest.raises(TypeError):
        StateVec("ab", "cd")
    with pytest.raises(TypeError):
        StateVec.random(1.0)
    with pytest.raises(TypeError):
        type("Sub", (StateVec,), {})
    assert StateVec.__module__ == "builtins"


@pytest.mark.filterwarnings("ignore:nanobind")
def test_in_place_product_needs_a_constructed_state():
    s = StateVec.__new__(StateVec)  # never initialised
    with pytest.raises(TypeError):
        s *= Instr(Gate.from_name("h"), [0])
    t = StateVec([1.0, 0.0], [0.0, 0.0])
    u = t
    t *= Instr(Gate.from_name("x"), [0])
    assert t is u and str(t) == "[0.0000, 1.0000]"


@pytest.mark.parametrize(
    "member, signature, doc",
    [
        ("random", "(num_qubits)", "Creates a random normalized state."),
        ("hash_value", "($self)", "Hashes the current normalized state."),
        ("__setitem__", "($self, index, value)", "Sets one amplitude from Python `complex`."),
        ("normalize", "($self)", None),
    ],
)
def test_text_signature_docstrings(member, signature, doc):
    f = getattr(StateVec, member)
    assert f.__text_signature__ == signature
    if doc is not None:
        assert f.__doc__ == doc
    assert f.__doc__.startswith(doc or "Normalizes the state vector in place.\n\nNormalization ensures two")
    assert getattr(StateVec.random(1), member).__doc__ == f.__doc__
    assert StateVec.__text_signature__ == "(re, im)"
    assert StateVec.__doc__ == "Complex state vector used for randomized circuit evaluation."


def test_module_surface():
    import importlib

    ext = importlib.import_module("tandrel.tandrel")
    assert importlib.import_module("tandrel.tandrel") is ext
    public = [n for n in vars(ext) if not (n.startswith("__") and n.endswith("__"))]
    slots = ["Argument", "Instruction", "Gate", "Instr", "StateVec", "ECC", "ECCs", "RawECCs", "Evaluator", "Circ",
             "IdentityCirc", "IdentityProver", "Proof"]
    # only classes, registered in their slot order, and at least the ones built so far
    assert public == [n for n in slots if n in public]
    assert {"Gate", "Instr", "StateVec", "Evaluator"} <= set(public)
    assert tandrel.StateVec is ext.StateVec
    assert ext.__doc__.startswith("Extension module entry point")
