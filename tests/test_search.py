"""The raw table, entry insertion and the search drivers: buckets against exact unitaries, the surface-gate tests,
display forms, ownership of list cells, counters, progress lines and the generators' instruction lists."""

import gc
import math
import os
import re

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tandrel import Evaluator, Gate, Instr, PanicException, RawECCs
from tandrel import _probe as probe
from support.unitary import canonical_class, circuit_unitary, inverse, perm_matrix

G = {name: Gate.from_name(name) for name in ["h", "x", "t", "tdg", "s", "cx", "cz", "swap"]}
NIL = probe.ALIAS_NIL
PROGRESS = re.compile(r"#(\d+) Exploring (.*) \((\d+) queued, (\d+) ECCs, (\d+) circs, (\d+) circs perm\)")


def instr(name, *qargs):
    return Instr(G[name], list(qargs))


def texts(instrs):
    return [str(i) for i in instrs]


def identity(n):
    return tuple(range(n))


def relabel(i, p):
    return Instr(i.gate, [p[q] if q < len(p) else q for q in i.qargs])


def dump(table):
    """Buckets as plain values: (key, size, front gates, back gates, [(front, instrs, back)])."""
    return [
        (k, size, texts(f), texts(b), [(fp, texts(c), bp) for fp, c, bp in triples])
        for k, size, f, b, triples in probe.raw_eccs_buckets(table)
    ]


def phase_key(u, decimals=6):
    flat = u.ravel()
    k = int(np.argmax(np.abs(flat) > 1e-6))
    return (np.round(u * (abs(flat[k]) / flat[k]), decimals) + 0.0).tobytes()


def circuits_up_to(instrs, n, max_size):
    """The unitary of every instruction sequence of length 0 .. max_size, built prefix by prefix."""
    ops = [circuit_unitary([i], n) for i in instrs]
    level = [np.eye(1 << n, dtype=complex)]
    yield from level
    for _ in range(max_size):
        level = [op @ u for u in level for op in ops]
        yield from level


def progress_lines(out):
    lines = out.splitlines()
    assert all(PROGRESS.fullmatch(line) for line in lines), lines
    return lines


def one_instruction_key(e, i, naive):
    """The key of a one-instruction circuit in the optimized search, or in the naive one."""
    if not naive:
        return e.evaluate([i])[0].hash_value()
    state = probe.evaluator_states(e)[1].clone()
    state *= i
    state.normalize_arg()
    return state.hash_value()


def identity_text(n):
    return "(" + " ".join(map(str, range(n))) + ")"


# ---- the fresh table -------------------------------------------------------------------------------------------


@pytest.mark.parametrize("n", [0, 1, 3])
def test_fresh_table(n):
    e = Evaluator(n)
    table = RawECCs(e)
    assert dump(table) == [(e.initial_key(), 0, [], [], [(identity(n), [], identity(n))])]
    info = probe.raw_eccs_info(table)
    assert (info["nqubits"], info["drop"], info["live_cells"]) == (n, False, 0)
    key = e.initial_key()
    assert probe.raw_eccs_bucket_debug(table, key) == (
        f"CircuitECC {{ size: 0, front_gates: {{}}, back_gates: {{}}, circuits: [{identity_text(n)}  "
        f"{identity_text(n)}] }}"
    )
    assert probe.raw_eccs_bucket_str(table, key) == "CircuitECC { " + identity_text(n) + "}"


def test_python_surface():
    assert RawECCs.__doc__ == (
        "Mutable ECC map keyed by evaluator hash.\n\n"
        "This is the direct output of the search algorithm before final simplification."
    )
    assert RawECCs.__text_signature__ == "(evaluator)"
    assert RawECCs.search.__text_signature__ == "(evaluator, instrs, max_size)"
    assert RawECCs.search.__doc__ == "Optimized search using permutation-equivalent placements per circuit."
    assert RawECCs.search_naive.__doc__ == (
        "Exhaustive baseline search without permutation-based multiplicity reduction."
    )
    assert RawECCs.generate.__doc__ == (
        "Generates ECCs from a gate set using the optimized search.\n\n"
        "Adjoint gates are added automatically if missing."
    )
    assert RawECCs.generate_naive.__doc__ == "Generates ECCs from a gate set using the naive search."
    assert RawECCs.generate_naive.__text_signature__ == "(evaluator, gates, max_size)"
    table = RawECCs(Evaluator(2))
    assert hash(table) == hash(table) and table != RawECCs(Evaluator(2))
    assert not hasattr(RawECCs, "__len__")
    for name in ["__str__", "__repr__", "__eq__", "__hash__"]:
        assert getattr(RawECCs, name) is getattr(object, name)
    with pytest.raises(TypeError):

        class Sub(RawECCs):  # noqa: F841
            pass


@pytest.mark.parametrize(
    "args, error",
    [
        (lambda: (Evaluator(2), [], -1), OverflowError),
        (lambda: (Evaluator(2), [], 2**64), OverflowError),
        (lambda: (Evaluator(2), "h", 1), TypeError),
        (lambda: (Evaluator(2), [G["h"]], 1), TypeError),
        (lambda: (None, [], 1), TypeError),
    ],
)
def test_bad_arguments(args, error):
    with pytest.raises(error):
        RawECCs.search(*args())


# ---- insertion -------------------------------------------------------------------------------------------------


def fresh(n=3):
    e = Evaluator(n)
    return e, RawECCs(e)


def test_new_bucket_then_joining_circuit():
    _, table = fresh()
    f, b = (1, 2, 0), (0, 2, 1)
    first = [instr("h", 0), instr("cx", 1, 2), instr("t", 1)]
    # Stored lists are built instruction by instruction, as the search makes them.
    l1 = probe.raw_eccs_add_entry(table, 11, identity(3), identity(3), NIL, first[:1])
    l2 = probe.raw_eccs_add_entry(table, 12, identity(3), identity(3), l1, first[:2])
    new = probe.raw_eccs_add_entry(table, 99, f, b, l2, first)
    assert new is not None
    bucket = [x for x in dump(table) if x[0] == 99][0]
    fi = inverse(f)
    assert bucket == (
        99,
        3,
        texts([relabel(instr("h", 0), fi), relabel(instr("cx", 1, 2), fi)]),
        texts([relabel(instr("t", 1), b), relabel(instr("h", 0), b)]),
        [(f, texts(first), b)],
    )
    assert probe.raw_eccs_lists(table, 99) == [new]

    # A second circuit under the same key whose surface gates are all new joins the bucket.
    second = [instr("x", 0), instr("cz", 0, 1)]
    lx = probe.raw_eccs_add_entry(table, 13, identity(3), identity(3), NIL, second[:1])
    assert probe.raw_eccs_add_entry(table, 99, identity(3), identity(3), lx, second) is None
    bucket = [x for x in dump(table) if x[0] == 99][0]
    assert bucket[2] == texts([relabel(instr("h", 0), fi), relabel(instr("cx", 1, 2), fi), instr("x", 0)])
    assert bucket[3] == texts([relabel(instr("t", 1), b), relabel(instr("h", 0), b), instr("cz", 0, 1)])
    assert bucket[4] == [(f, texts(first), b), (identity(3), texts(second), identity(3))]
    assert bucket[1] == 3
    assert probe.raw_eccs_info(table)["live_cells"] == 5


@pytest.mark.parametrize(
    "circuit, front, back",
    [
        # The relabelled last instruction is a back gate of the bucket.
        ([("x", 1), ("t", 2)], (0, 1, 2), (0, 1, 2)),
        # Only the back test hits: front gates differ.
        ([("x", 0), ("cx", 0, 2), ("t", 2)], (0, 1, 2), (0, 1, 2)),
        # Only the front test hits: the first instruction, relabelled by front⁻¹, is a front gate of the bucket.
        ([("h", 1), ("cx", 1, 2)], (1, 0, 2), (0, 1, 2)),
        # The back gate only matches after relabelling by the back placement.
        ([("x", 1), ("t", 0)], (0, 1, 2), (2, 1, 0)),
    ],
)
def test_dropped_circuit_changes_nothing(circuit, front, back):
    circuit = [instr(*x) for x in circuit]
    _, table = fresh()
    stored = [instr("h", 0), instr("t", 2)]
    l1 = probe.raw_eccs_add_entry(table, 1, identity(3), identity(3), NIL, stored[:1])
    probe.raw_eccs_add_entry(table, 5, identity(3), identity(3), l1, stored)
    prefix = NIL
    for k in range(1, len(circuit)):
        prefix = probe.raw_eccs_add_entry(table, 100 + k, identity(3), identity(3), prefix, circuit[:k])
    before, cells = dump(table), probe.raw_eccs_info(table)["live_cells"]
    assert probe.raw_eccs_add_entry(table, 5, front, back, prefix, circuit) is None
    assert dump(table) == before
    assert probe.raw_eccs_info(table)["live_cells"] == cells


def test_add_entry_of_empty_circuit_fails():
    _, table = fresh()
    with pytest.raises(PanicException, match=re.escape("called `Option::unwrap()` on a `None` value")):
        probe.raw_eccs_add_entry(table, 5, identity(3), identity(3), NIL, [])


@pytest.mark.parametrize(
    "circuit, front, back",
    [
        ([], [], []),
        ([("cx", 0, 1), ("h", 1), ("cx", 1, 0), ("t", 0)], [("cx", 0, 1)], [("t", 0)]),
        # An instruction on qubits no earlier one touches is a front gate however late it comes.
        ([("cx", 0, 1), ("h", 1), ("cx", 1, 0), ("h", 2)], [("cx", 0, 1), ("h", 2)], [("h", 2), ("cx", 1, 0)]),
        ([("h", 0), ("t", 1), ("cx", 0, 1), ("x", 0), ("s", 1)], [("h", 0), ("t", 1)], [("s", 1), ("x", 0)]),
        ([("h", 0), ("h", 0)], [("h", 0)], [("h", 0)]),
    ],
)
def test_surface_gates(circuit, front, back):
    c = [instr(*x) for x in circuit]
    assert texts(probe.front_surface_gates(c)) == texts([instr(*x) for x in front])
    assert texts(probe.back_surface_gates(c)) == texts([instr(*x) for x in back])


# Plain tuples: the instructions are made inside the test, so that no example outlives it.
CIRCUIT_3Q = st.lists(
    st.one_of(
        st.tuples(st.sampled_from(["h", "t", "x", "s"]), st.integers(0, 2)),
        st.tuples(st.sampled_from(["cx", "cz"]), st.permutations(range(3)).map(lambda p: tuple(p[:2]))),
    ),
    max_size=7,
)


@settings(max_examples=60, deadline=None)
@given(CIRCUIT_3Q)
def test_surface_gates_commute_to_their_side(gates):
    """Moving a front surface gate to the start, or a back surface gate to the end, keeps the unitary."""
    c = [instr(name, q) if isinstance(q, int) else instr(name, *q) for name, q in gates]
    u = circuit_unitary(c, 3)
    texts_c = texts(c)
    for g in probe.front_surface_gates(c):
        i = texts_c.index(str(g))
        assert np.allclose(circuit_unitary([c[i]] + c[:i] + c[i + 1 :], 3), u)
    for g in probe.back_surface_gates(c):
        i = len(c) - 1 - texts_c[::-1].index(str(g))
        assert np.allclose(circuit_unitary(c[:i] + c[i + 1 :] + [c[i]], 3), u)
    if c:
        assert str(probe.back_surface_gates(c)[0]) == str(c[-1])
        assert str(probe.front_surface_gates(c)[0]) == str(c[0])


# ---- triples and their forms -----------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "front, circuit, back, instrs, perm",
    [
        ((1, 2, 0), [("cx", 0, 1)], (0, 2, 1), [("cx", 2, 0)], (2, 1, 0)),
        ((0, 1), [("h", 0), ("cx", 0, 1)], (1, 0), [("h", 0), ("cx", 0, 1)], (1, 0)),
        ((1, 0), [("h", 0), ("t", 1)], (1, 0), [("h", 1), ("t", 0)], (0, 1)),
        ((2, 0, 1), [], (1, 2, 0), [], (0, 1, 2)),
    ],
)
def test_triple_simplify(front, circuit, back, instrs, perm):
    got_instrs, got_perm = probe.circ_triple_simplify(front, [instr(*x) for x in circuit], back)
    assert (texts(got_instrs), got_perm) == (texts([instr(*x) for x in instrs]), perm)


def test_display_and_debug_forms():
    _, table = fresh(2)
    la = probe.raw_eccs_add_entry(table, 7, (1, 0), (0, 1), NIL, [instr("h", 0)])
    probe.raw_eccs_add_entry(table, 8, (0, 1), (0, 1), la, [instr("h", 0), instr("cx", 0, 1)])
    probe.raw_eccs_add_entry(table, 7, (0, 1), (1, 0), NIL, [instr("t", 1)])
    assert probe.raw_eccs_triple_str(table, 7, 0) == "h(1) (1 0)"
    assert probe.raw_eccs_triple_debug(table, 7, 0) == "(1 0) h(0) (0 1)"
    assert probe.raw_eccs_triple_str(table, 8, 0) == "h(0) cx(0, 1) (0 1)"
    assert probe.raw_eccs_bucket_str(table, 7) == "CircuitECC {h(1) (1 0), t(1) (1 0)}"
    assert probe.raw_eccs_bucket_debug(table, 7) == (
        "CircuitECC { size: 1, front_gates: {h(1), t(1)}, back_gates: {h(0), t(0)}, "
        "circuits: [(1 0) h(0) (0 1), (0 1) t(1) (1 0)] }"
    )


# ---- ownership of list cells -----------------------------------------------------------------------------------


@pytest.mark.parametrize("n, names, max_size", [(2, ["h", "t", "cx"], 4), (3, ["h", "cx"], 3), (2, [], 3)])
def test_searched_table_frees_every_cell_once(n, names, max_size):
    instrs = probe.generator_instrs([G[x] for x in names], n)
    triples, before, freed, after = probe.search_and_free_cells(Evaluator(n), instrs, max_size)
    # Every triple but the empty circuit's owns the first cell of its list; many lists share tails.
    assert (before, freed, after) == (triples - 1, triples - 1, 0)


def test_free_cells_only_by_the_sole_owner():
    e = Evaluator(2)
    with pytest.raises(PanicException, match=re.escape("assertion failed: self.drop")):
        probe.raw_eccs_free_cells(RawECCs(e))
    table, _ = RawECCs.generate(e, [G["h"], G["cx"]], 2)
    shared = probe.raw_eccs_share(table)
    with pytest.raises(PanicException, match="assertion failed: the arena is not shared"):
        probe.raw_eccs_free_cells(table)
    assert dump(shared) == dump(table)


@pytest.mark.parametrize("drop_first", ["source", "shared"])
def test_shared_cells_outlive_either_table(drop_first):
    e = Evaluator(3)
    table, _ = RawECCs.generate(e, [G["h"], G["t"], G["cx"]], 3)
    shared = probe.raw_eccs_share(table)
    expected = dump(table)
    assert probe.raw_eccs_info(shared)["drop"] is False
    assert probe.raw_eccs_info(table)["arena_holders"] == 2
    if drop_first == "source":
        del table
        gc.collect()
        assert dump(shared) == expected
        assert probe.raw_eccs_info(shared)["arena_holders"] == 1
    else:
        del shared
        gc.collect()
        assert dump(table) == expected


# ---- search drivers --------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "run",
    [
        lambda e: RawECCs.search(e, [], 3),
        lambda e: RawECCs.search_naive(e, [], 0),
        lambda e: RawECCs.generate(e, [], 2),
        lambda e: RawECCs.generate_naive(e, [], 5),
    ],
)
def test_empty_instruction_list(run, capfd):
    e = Evaluator(2)
    table, counters = run(e)
    assert counters == [1, 0, 0]
    assert dump(table) == dump(RawECCs(e))
    assert probe.raw_eccs_info(table)["drop"] is True
    out = capfd.readouterr().out
    assert out == "#0 Exploring  (0 queued, 1 ECCs, 0 circs, 0 circs perm)\n"


@pytest.mark.parametrize("max_size", [0, 1])
@pytest.mark.parametrize("naive", [False, True])
def test_max_size_zero_and_one(max_size, naive, capfd):
    e = Evaluator(2)
    gates = [G["h"], G["t"], G["cx"]]
    instrs = probe.generator_instrs(gates, 2)
    table, counters = (RawECCs.generate_naive if naive else RawECCs.generate)(e, gates, max_size)
    buckets = dump(table)
    assert counters[0] == 1 and counters[1] == len(instrs)
    assert buckets[0][0] == e.initial_key()
    assert all(size == 1 and all(len(c) == 1 for _, c, _ in triples) for _, size, _, _, triples in buckets[1:])
    # Every one-instruction circuit is filed under its key, and nothing else is.
    expected = {e.initial_key()} | {one_instruction_key(e, i, naive) for i in instrs}
    assert {b[0] for b in buckets} == expected
    assert len(progress_lines(capfd.readouterr().out)) == 1


@pytest.mark.parametrize(
    "n, names, max_size",
    [(2, ["h", "t", "cx"], 3), (3, ["h", "cx"], 3), (2, ["h", "x", "cx"], 4)],
)
def test_counters(n, names, max_size):
    e = Evaluator(n)
    gates = [G[x] for x in names]
    instrs = probe.generator_instrs(gates, n)
    table, counters = RawECCs.generate(e, gates, max_size)
    naive_table, naive_counters = RawECCs.generate_naive(e, gates, max_size)
    assert naive_counters[1] == naive_counters[2]
    assert counters[2] >= counters[1]
    for t, c in [(table, counters), (naive_table, naive_counters)]:
        buckets = dump(t)
        # Explored: the root and every bucket opened by a circuit shorter than max_size.
        assert c[0] == 1 + sum(1 for b in buckets[1:] if b[1] < max_size)
        assert c[1] == c[0] * len(instrs)
        assert max(b[1] for b in buckets) == max_size


def test_progress_lines_follow_the_queue(capfd):
    """Buckets are opened in queue order, so each line's queue length and bucket count can be checked against
    the final table: the k-th explored circuit is the k-th bucket's representative."""
    e = Evaluator(3)
    gates = [G["h"], G["t"], G["cx"]]
    instrs = probe.generator_instrs(gates, 3)
    table, counters = RawECCs.generate(e, gates, 5)
    lines = progress_lines(capfd.readouterr().out)
    buckets = dump(table)
    assert len(lines) == math.ceil(counters[0] / 400) > 1
    for k, line in enumerate(lines):
        explored, circuit, queued, eccs, circs, perm = PROGRESS.fullmatch(line).groups()
        assert int(explored) == 400 * k
        assert circuit == " ".join(buckets[400 * k][4][0][1])
        assert int(circs) == 400 * k * len(instrs)
        assert int(perm) >= int(circs)
        queueable = sum(1 for b in buckets[: int(eccs)] if b[1] < 5)
        assert int(queued) == queueable - (400 * k + 1)


def test_generate_equals_search_over_generator_instructions():
    e = Evaluator(3)
    gates = [G["h"], G["t"], G["cx"]]
    instrs = probe.generator_instrs(gates, 3)
    assert dump(RawECCs.generate(e, gates, 3)[0]) == dump(RawECCs.search(e, instrs, 3)[0])
    assert dump(RawECCs.generate_naive(e, gates, 3)[0]) == dump(RawECCs.search_naive(e, instrs, 3)[0])


@pytest.mark.parametrize(
    "names, n, expected",
    [
        (["t"], 3, "t(0) tdg(0) t(1) tdg(1) t(2) tdg(2)"),
        (["tdg", "t"], 2, "t(0) tdg(0) t(1) tdg(1)"),
        (["cx"], 3, "cx(0, 1) cx(1, 0) cx(0, 2) cx(1, 2) cx(2, 0) cx(2, 1)"),
        (["h"], 2, "h(0) h(1)"),
        (["h", "h"], 2, "h(0) h(0) h(1) h(1)"),
        (["cx", "h"], 2, "h(0) h(1) cx(0, 1) cx(1, 0)"),
        (["s", "x"], 1, "x(0) s(0) sdg(0)"),
        (["cx"], 1, ""),
        ([], 3, ""),
    ],
)
def test_generator_instructions(names, n, expected):
    assert " ".join(texts(probe.generator_instrs([G[x] for x in names], n))) == expected


def three_qubit_gate():
    m = np.eye(8, dtype=complex)
    m[7, 7] = -1
    return Gate("ccz", [], m)


@pytest.mark.parametrize("driver", [RawECCs.generate, RawECCs.generate_naive])
def test_three_qubit_gate_is_refused(driver):
    with pytest.raises(PanicException, match="^Only 1 and 2 qubit instructions are supported$"):
        driver(Evaluator(3), [G["h"], three_qubit_gate()], 2)


@pytest.mark.parametrize("threads", ["sequential", "pool"])
@pytest.mark.parametrize("kind", ["search", "naive"])
def test_instruction_beyond_the_evaluator_fails_as_evaluation_does(kind, threads, capfd):
    e = Evaluator(2)
    bad = instr("h", 2)
    with pytest.raises(PanicException) as expected:
        e.evaluate([bad])
    with pytest.raises(PanicException) as got:
        probe.search_with(e, [instr("h", 0), instr("cx", 0, 1), bad], 3, kind, threads, pool_min_evaluations=1)
    assert str(got.value) == str(expected.value)
    # The failure comes with the first circuit, after its progress line.
    assert capfd.readouterr().out == "#0 Exploring  (0 queued, 1 ECCs, 0 circs, 0 circs perm)\n"


def test_failed_progress_output_fails_the_search(capfd):
    full = os.open("/dev/full", os.O_WRONLY)
    saved = os.dup(1)
    os.dup2(full, 1)
    try:
        with pytest.raises(PanicException, match="^failed printing to stdout: No space left on device$"):
            RawECCs.generate(Evaluator(2), [G["h"]], 2)
    finally:
        os.dup2(saved, 1)
        os.close(saved)
        os.close(full)


@pytest.mark.parametrize(
    "kind, n, names, max_size",
    [
        ("search", 3, ["h", "t", "cx"], 5),
        ("naive", 3, ["h", "t", "cx"], 4),
        ("search", 2, ["h", "x", "cx"], 6),
        ("naive", 2, ["h", "x", "cx"], 6),
    ],
)
@pytest.mark.parametrize("batch", [(0, 0), (600, 1)], ids=["default-batches", "small-batches"])
def test_pool_and_sequential_runs_are_identical(kind, n, names, max_size, batch, capfd):
    e = Evaluator(n)
    instrs = probe.generator_instrs([G[x] for x in names], n)
    seq_table, seq_counters = probe.search_with(e, instrs, max_size, kind, "sequential")
    seq_out = capfd.readouterr().out
    pool_table, pool_counters = probe.search_with(e, instrs, max_size, kind, "pool", *batch)
    pool_out = capfd.readouterr().out
    assert seq_counters == pool_counters
    assert seq_out == pool_out and progress_lines(seq_out)
    assert dump(seq_table) == dump(pool_table)


# ---- against exact unitaries ------------------------------------------------------------------------------------

WORKLOADS = [(2, ["h", "t", "cx"], 4), (2, ["h", "x", "cx"], 4), (3, ["h", "cx"], 3)]


@pytest.mark.parametrize("n, names, max_size", WORKLOADS)
def test_buckets_are_the_classes_of_exact_unitaries(n, names, max_size):
    instrs = probe.generator_instrs([G[x] for x in names], n)
    distinct = {}
    for u in circuits_up_to(instrs, n, max_size):
        distinct.setdefault(phase_key(u), u)
    classes = {canonical_class(u, n) for u in distinct.values()}
    e = Evaluator(n)
    table, _ = RawECCs.search(e, instrs, max_size)
    assert probe.raw_eccs_info(table)["buckets"] == len(classes)
    # The naive search keeps relabelled circuits apart: its buckets are the unitaries up to global phase.
    naive, _ = RawECCs.search_naive(e, instrs, max_size)
    assert probe.raw_eccs_info(naive)["buckets"] == len(distinct)


@pytest.mark.parametrize("n, names, max_size", WORKLOADS)
def test_bucket_members_are_equal_with_their_placements(n, names, max_size):
    e = Evaluator(n)
    table, _ = RawECCs.generate(e, [G[x] for x in names], max_size)
    seen_classes = set()
    for (key, members), raw in zip(probe.raw_eccs_simplified(table), probe.raw_eccs_buckets(table)):
        # Each member, followed by its trailing permutation, is the same operator up to global phase.
        ops = {phase_key(perm_matrix(perm, n) @ circuit_unitary(instrs, n)) for instrs, perm in members}
        assert len(ops) == 1
        cls = canonical_class(circuit_unitary(members[0][0], n), n)
        assert cls not in seen_classes
        seen_classes.add(cls)
        # The stored placements are placements the evaluator gives for the stored circuit under the bucket key.
        for front, stored, back in raw[4]:
            assert e.evaluate(stored)[0].hash_value() == key
            assert (front, back) in probe.evaluate_pairs(e, stored)


# ---- containers --------------------------------------------------------------------------------------------------

# Keys that share low bits, high bits or both, so that probes collide and tags must be confirmed.
KEYS = st.sampled_from(
    [0, 1, 2**64 - 1, 2**32, 2**32 + 1, 2**33, 7, 15, 2**63, 2**63 + 7, (5 << 32) | 7, (5 << 32) | 15]
) | st.integers(0, 2**64 - 1)


@settings(max_examples=80, deadline=None)
@given(st.lists(st.tuples(st.booleans(), KEYS, st.integers(0, 2**32 - 1)), max_size=120))
def test_u64_map_behaves_like_an_ordered_dict(ops):
    m = probe.U64MapU32()
    model = {}
    for assign, key, value in ops:
        if assign:
            old = m.insert_or_assign(key, value)
            assert old == model.get(key)
            model[key] = value
        else:
            assert m.try_emplace(key, value) == (key not in model)
            model.setdefault(key, value)
    assert m.items() == list(model.items())
    assert len(m) == len(model) and 4 * len(m) <= 3 * max(m.capacity(), 1)
    for key, value in model.items():
        assert m.get(key) == value
    copy = m.copy()
    copy.try_emplace(12345678901, 1)
    assert m.items() == list(model.items())
    for key, _, _ in ops:
        assert m.get(key ^ 0x5A5A) == model.get(key ^ 0x5A5A)


@given(st.lists(st.integers(0, 6), max_size=20))
def test_linear_set(values):
    items, added = probe.linear_set_inserts(values)
    assert items == list(dict.fromkeys(values))
    assert added == [v not in values[:i] for i, v in enumerate(values)]
