"""Tolerant reals, the SipHash-1-3 hasher and the parallel pool, through the core's probe module."""

import struct

import pytest

from tandrel import _probe as probe
from support.siphash_ref import python_hash_of_bytes, reduce_hash

TWO_M25 = 2.0**-25
TWO_M24 = 2.0**-24


@pytest.mark.parametrize(
    "a, b, equal",
    [
        (0.0, -0.0, True),
        (TWO_M25, 0.0, False),  # 0.5 on the grid rounds away from zero
        (0.9 * TWO_M25, 0.0, True),
        (float("nan"), 0.0, True),
        (2.0**39, float("inf"), True),
        (2.0**39, 2.0**50, True),
        (-(2.0**39) - 1, float("-inf"), True),
        (1.0, 1.0 + 2.0**-30, True),
        (1.0, 1.0 + 2.0**-23, False),
    ],
)
def test_grid_equality(a, b, equal):
    assert probe.qreal_eq(a, b) is equal
    assert (probe.qreal_percision_repr(a) == probe.qreal_percision_repr(b)) is equal


@pytest.mark.parametrize(
    "x, expected",
    [(TWO_M25, 1), (-TWO_M25, -1), (float("nan"), 0), (float("inf"), 2**63 - 1), (float("-inf"), -(2**63)), (1.0, 2**24)],
)
def test_percision_repr(x, expected):
    assert probe.qreal_percision_repr(x) == expected


def test_order_follows_grid():
    assert probe.qreal_lt(-1.0, 0.0)
    assert not probe.qreal_lt(0.0, 0.9 * TWO_M25)
    assert probe.qreal_lt(0.0, TWO_M25)


@pytest.mark.parametrize(
    "x, near", [(TWO_M24, False), (TWO_M24 * 0.999, True), (-TWO_M24 * 0.999, True), (float("nan"), False)]
)
def test_near_zero(x, near):
    assert probe.qreal_near_zero(x) is near


@pytest.mark.parametrize("a, b, eq", [(0.999, 0.997, True), (-0.001, 0.001, True), (0.99, 1.0, False)])
def test_loose_eq(a, b, eq):
    assert probe.qreal_loose_eq(a, b) is eq


def test_arithmetic_keeps_small_addend():
    s = probe.qreal_add(1.0, 2.0**-30)
    assert s != 1.0 and probe.qreal_eq(s, 1.0)


@pytest.mark.parametrize(
    "x, decimals, text",
    [
        (1.0, -1, "1"),
        (0.5, -1, "0.5"),
        (1e-7, -1, "0.0000001"),
        (-0.0, -1, "-0"),
        (float("nan"), -1, "NaN"),
        (float("inf"), -1, "inf"),
        (0.1 + 0.2, -1, "0.30000000000000004"),
        (1e21, -1, "1000000000000000000000"),
        (2.0 / 3.0, 3, "0.667"),
        (0.70710678, 4, "0.7071"),
    ],
)
def test_display(x, decimals, text):
    assert probe.qreal_str(x, decimals) == text


def test_siphash_matches_cpython():
    # CPython hashes the empty string to 0 without SipHash, so it is no reference for it.
    chunks = [b"a", b"abcdefg", b"abcdefgh", b"0123456789abcdef!", bytes(range(256))]
    chunks += [struct.pack("<I", 4) + struct.pack("<4q", 1, -2, 3, 2**62)]
    expected = python_hash_of_bytes(chunks)
    assert [reduce_hash(probe.siphash13(c)) for c in chunks] == expected


def test_siphash_streaming_equals_one_shot():
    data = bytes(range(200))
    for cut in [(0, 3), (1, 7, 8), (5, 13, 40, 41)]:
        parts = [data[a:b] for a, b in zip((0,) + cut, cut + (len(data),))]
        assert probe.siphash13_chunked(parts) == probe.siphash13(data)


def test_pool_keeps_order_and_reraises_lowest_failure():
    assert probe.pool_threads() >= 1
    assert probe.parallel_squares(1000, -1) == [i * i for i in range(1000)]
    assert probe.parallel_squares(0, -1) == []
    import tandrel

    with pytest.raises(tandrel.PanicException, match="task 17 failed"):
        probe.parallel_squares(1000, 17)
