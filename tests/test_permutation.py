"""Qubit permutations: packing, construction checks, algebra, SWAP networks, the Heap-ordered table and the
Python conversion, through the core's probe module."""

import itertools
import json
import math
import os
import struct
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import given, strategies as st

from tandrel import PanicException
from tandrel import _probe as probe
from support.siphash_ref import python_hash_of_bytes, reduce_hash

LENGTH_FAILURE = "^Permutation length must be less than or equal to 8$"
BOUND_FAILURE = "^Permutation values must be less than 8$"
UNIQUE_FAILURE = "^Permutation values must be unique$"
PARTIAL_FAILURE = "^Permutation values must be less than the permutation length$"


def packed(entries):
    """The word of a permutation, packed independently: entry i in bits 3i..3i+2, the length in bits 24..27."""
    return sum(v << (3 * i) for i, v in enumerate(entries)) | (len(entries) << 24)


def apply_swaps(entries, swaps):
    w = list(entries)
    for i, j in swaps:
        w[i], w[j] = w[j], w[i]
    return w


# ---- construction and packing --------------------------------------------------------------------------------


@pytest.mark.parametrize("n", range(9))
def test_identity(n):
    p = probe.perm_identity(n)
    assert p == tuple(range(n))
    assert probe.perm_raw(p) == packed(range(n))
    assert probe.perm_len(p) == n
    assert probe.perm_is_identity(p)
    assert probe.perm_generate_swaps(p) == []


def test_identity_of_eight_sets_bit_27():
    raw = probe.perm_raw(probe.perm_identity(8))
    assert raw >> 27 & 1 == 1 and raw >> 24 == 8


def test_identity_length_bound():
    with pytest.raises(PanicException, match=LENGTH_FAILURE):
        probe.perm_identity(9)
    with pytest.raises(OverflowError):
        probe.perm_identity(256)


@pytest.mark.parametrize(
    "value, expected",
    [
        ((1, 0), (1, 0)),
        ([1, 0], (1, 0)),
        ([], ()),
        (range(3), (0, 1, 2)),
        (b"\x01\x00", (1, 0)),
        (np.array([2, 0, 1]), (2, 0, 1)),
        ([0, 1, 2, 3, 4, 5, 6, 7], (0, 1, 2, 3, 4, 5, 6, 7)),
        ([7, 6, 5, 4, 3, 2, 1, 0], (7, 6, 5, 4, 3, 2, 1, 0)),
    ],
)
def test_conversion_accepts_integer_sequences(value, expected):
    out = probe.perm_convert(value)
    assert type(out) is tuple and out == expected
    assert probe.perm_raw(value) == packed(expected)


@pytest.mark.parametrize(
    "value, exception, message",
    [
        ("10", TypeError, "^Can't extract `str` to `Vec`$"),
        ("", TypeError, "^Can't extract `str` to `Vec`$"),
        ([1, 0, 1], PanicException, UNIQUE_FAILURE),
        ([0] * 20, PanicException, UNIQUE_FAILURE),
        ([8], PanicException, BOUND_FAILURE),
        (list(range(9)), PanicException, BOUND_FAILURE),
        ([0, 1, 2, 3, 4, 5, 6, 7, 0], PanicException, UNIQUE_FAILURE),
        # distinct values that are not all below their count: no permutation of that many points
        ((3, 5), PanicException, PARTIAL_FAILURE),
        ([1], PanicException, PARTIAL_FAILURE),
        ([0, 2], PanicException, PARTIAL_FAILURE),
        # every element is converted before the permutation is built
        ([0, 256], OverflowError, None),
        ([0, 0] + [0] * 30 + [300], OverflowError, None),
        ([-1], OverflowError, None),
        ([0.0], TypeError, None),
        (["0"], TypeError, None),
        (5, TypeError, None),
        (None, TypeError, None),
        ({0, 1}, TypeError, None),
    ],
)
def test_conversion_failures(value, exception, message):
    with pytest.raises(exception, match=message):
        probe.perm_convert(value)


@pytest.mark.parametrize(
    "raw, valid",
    [
        (packed([1, 0, 2]), True),
        (packed([]), True),
        (packed(range(8)), True),
        (packed([1, 1]), False),
        (packed([3, 5]), False),
        (packed([0, 1]) | 1 << 28, False),
        (packed([0, 1]) | 5 << 6, False),  # an entry beyond the length
        (9 << 24, False),
    ],
)
def test_is_valid_word(raw, valid):
    assert probe.perm_is_valid_raw(raw) is valid


@pytest.mark.parametrize(
    "n, values, expected",
    [
        (5, [3, 1], (3, 1, 2, 0, 4)),
        (3, [], (0, 1, 2)),
        (3, [2], (2, 1, 0)),
        (4, [1, 2], (1, 2, 0, 3)),
        (2, [0, 1], (0, 1)),
        (0, [], ()),
    ],
)
def test_from_iter_with_ext(n, values, expected):
    assert probe.perm_from_iter_with_ext(n, values) == expected


@pytest.mark.parametrize(
    "n, values, message",
    [(9, [], LENGTH_FAILURE), (3, [1, 1], UNIQUE_FAILURE), (3, [8], BOUND_FAILURE), (2, [3], PARTIAL_FAILURE)],
)
def test_from_iter_with_ext_failures(n, values, message):
    with pytest.raises(PanicException, match=message):
        probe.perm_from_iter_with_ext(n, values)


def test_from_iter_unchecked_stores_values_as_given():
    assert probe.perm_from_iter_unchecked_raw([3, 5]) == packed([3, 5])
    with pytest.raises(PanicException, match="^index out of bounds: the len is 8 but the index is 8$"):
        probe.perm_from_iter_unchecked_raw([0] * 9)


def test_entries_reads_and_writes():
    p = (2, 0, 1)
    assert [probe.perm_at(p, i) for i in range(8)] == [2, 0, 1, 0, 0, 0, 0, 0]
    assert probe.perm_iter(p) == [2, 0, 1]
    assert probe.perm_iter(()) == []
    assert probe.perm_set_raw(p, 1, 5) == packed([2, 5, 1])
    assert probe.perm_set_raw(p, 4, 3) == packed([2, 0, 1]) | 3 << 12  # the length is left alone
    for call in (lambda: probe.perm_at(p, 8), lambda: probe.perm_set_raw(p, 8, 0)):
        with pytest.raises(PanicException, match="^assertion failed: idx < 8$"):
            call()


@pytest.mark.parametrize(
    "p, text", [((), "()"), ((0,), "(0)"), ((1, 0, 2), "(1 0 2)"), (tuple(range(8)), "(0 1 2 3 4 5 6 7)")]
)
def test_display(p, text):
    assert probe.perm_str(p) == text


# ---- algebra ---------------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "p, q, product",
    [
        ((1, 2, 0), (0, 2, 1), (1, 0, 2)),
        ((0, 2, 1), (1, 2, 0), (2, 1, 0)),
        ((), (), ()),
        ((1, 0), (1, 0), (0, 1)),
    ],
)
def test_composition(p, q, product):
    assert probe.perm_mul(p, q) == product


def test_composition_needs_equal_lengths():
    with pytest.raises(PanicException, match=r"^assertion failed: self\.len\(\) == other\.len\(\)$"):
        probe.perm_mul((1, 0), (0, 1, 2))


@pytest.mark.parametrize("p, inverse", [((1, 2, 0), (2, 0, 1)), ((), ()), ((3, 0, 2, 1), (1, 3, 2, 0))])
def test_inverse(p, inverse):
    assert probe.perm_inv(p) == inverse
    assert probe.perm_inverse(p) == inverse
    assert probe.perm_mul(p, inverse) == tuple(range(len(p)))


@pytest.mark.parametrize(
    "a, b, expected",
    [
        ((1, 0), (0, 2, 1), ((1, 0, 2), (0, 2, 1))),
        ((0, 2, 1), (1, 0), ((0, 2, 1), (1, 0, 2))),
        ((1, 0), (0, 1), ((1, 0), (0, 1))),
        ((), (1, 0), ((0, 1), (1, 0))),
    ],
)
def test_coordinate_permute(a, b, expected):
    assert probe.perm_coordinate_permute(a, b) == expected


@pytest.mark.parametrize(
    "p, mask, image",
    [
        ((1, 2, 0), 0b011, 0b110),
        ((1, 0), 0b100, 0),
        ((1, 0), 0b111, 0b011),
        (tuple(range(8)), 0xFF, 0xFF),
        ((7, 6, 5, 4, 3, 2, 1, 0), 0b00000011, 0b11000000),
        ((), 0xFF, 0),
    ],
)
def test_permut_bv(p, mask, image):
    assert probe.perm_permut_bv(p, mask) == image


@pytest.mark.parametrize("p, identity", [((), True), ((0, 1, 2), True), ((1, 0), False), ((0, 2, 1), False)])
def test_is_identity(p, identity):
    assert probe.perm_is_identity(p) is identity


def perms(max_len=8):
    return st.integers(0, max_len).flatmap(lambda n: st.permutations(range(n)).map(tuple))


def same_length_triples():
    return st.integers(0, 8).flatmap(lambda n: st.tuples(*[st.permutations(range(n)).map(tuple)] * 3))


@given(same_length_triples(), st.integers(0, 255))
def test_group_laws(pqr, mask):
    p, q, r = pqr
    n = len(p)
    pq = probe.perm_mul(p, q)
    assert pq == tuple(p[q[i]] for i in range(n))
    assert probe.perm_mul(pq, r) == probe.perm_mul(p, probe.perm_mul(q, r))
    inv = probe.perm_inv(p)
    assert probe.perm_mul(p, inv) == tuple(range(n)) == probe.perm_mul(inv, p)
    assert probe.perm_permut_bv(pq, mask) == probe.perm_permut_bv(p, probe.perm_permut_bv(q, mask))
    image = sum(1 << p[i] for i in range(n) if mask >> i & 1)
    assert probe.perm_permut_bv(p, mask) == image


# ---- order and hash --------------------------------------------------------------------------------------------


def test_length_orders_first():
    assert not probe.perm_eq((0, 1), (0, 1, 2))
    assert probe.perm_cmp((0, 1), (0, 1, 2)) == -1
    # same length: the highest differing position decides
    assert probe.perm_cmp((2, 0, 1), (0, 2, 1)) == -1


@given(perms(), perms())
def test_order_and_equality_are_those_of_the_word(a, b):
    wa, wb = packed(a), packed(b)
    assert probe.perm_cmp(a, b) == (wa > wb) - (wa < wb)
    assert probe.perm_eq(a, b) is (wa == wb)


def test_hash_feeds_the_word_little_endian():
    cases = [(), (1, 0, 2), tuple(range(8)), (7, 6, 5, 4, 3, 2, 1, 0)]
    words = [struct.pack("<I", packed(p)) for p in cases]
    assert [reduce_hash(probe.perm_hash(p)) for p in cases] == python_hash_of_bytes(words)


# ---- SWAP decomposition -------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "p, swaps", [((1, 0, 2), [(0, 1)]), ((2, 0, 1), [(0, 2), (0, 1)]), ((0, 1, 2), []), ((1, 0), [(0, 1)])]
)
def test_generate_swaps(p, swaps):
    assert probe.perm_generate_swaps(p) == swaps
    assert apply_swaps(p, swaps) == list(range(len(p)))


@pytest.mark.parametrize("n", range(9))
def test_sorting_network_sorts_every_input(n):
    network = probe.perm_sorting_network(n)
    assert all(0 <= i < j < n for i, j in network)
    # 0-1 principle: a comparator network that sorts every 0/1 sequence sorts every sequence.
    for bits in itertools.product((0, 1), repeat=n):
        w = list(bits)
        for i, j in network:
            if w[j] < w[i]:
                w[i], w[j] = w[j], w[i]
        assert w == sorted(bits)


def test_sorting_network_bound():
    with pytest.raises(PanicException, match="^index out of bounds: the len is 9 but the index is 9$"):
        probe.perm_sorting_network(9)


@pytest.mark.parametrize("n", range(9))
def test_swaps_sort_every_permutation(n):
    network = probe.perm_sorting_network(n)
    for p in probe.perm_all(n):
        swaps = probe.perm_generate_swaps(p)
        assert apply_swaps(p, swaps) == list(range(n))
        # the swaps are the out-of-order comparators, in network order
        it = iter(network)
        assert all(s in it for s in swaps)


# ---- the table of all permutations -------------------------------------------------------------------------------


def test_heap_order_of_three():
    assert probe.perm_all(3) == [(0, 1, 2), (1, 0, 2), (2, 0, 1), (0, 2, 1), (1, 2, 0), (2, 1, 0)]
    assert probe.perm_all(0) == [()]
    assert probe.perm_all(1) == [(0,)]


@pytest.mark.parametrize("n", range(9))
def test_rows_hold_every_permutation_once(n):
    row = probe.perm_all(n)
    assert len(row) == math.factorial(n)
    assert set(row) == set(itertools.permutations(range(n)))
    assert row[0] == tuple(range(n))
    # Heap's order: consecutive permutations differ by one transposition
    for a, b in zip(row, row[1:]):
        assert sum(x != y for x, y in zip(a, b)) == 2


def test_rows_bound():
    with pytest.raises(PanicException, match="^index out of bounds: the len is 9 but the index is 9$"):
        probe.perm_all(9)


def test_first_use_from_many_threads_builds_one_table():
    # A fresh interpreter, so that the workers' reads are the table's first use.
    code = "import json, tandrel._probe as p; print(json.dumps(p.perm_all_rows_in_parallel(72)))"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True, env=os.environ)
    rows = json.loads(out.stdout)
    assert len(rows) == 72
    for n in range(9):
        reports = {(size, address, total) for m, size, address, total in rows if m == n}
        assert len(reports) == 1
        ((size, _, total),) = reports
        assert size == math.factorial(n)
        assert total == sum(packed(p) for p in itertools.permutations(range(n)))
