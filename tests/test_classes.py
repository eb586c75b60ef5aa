"""From raw buckets to finished classes: simplification with qubit renumbering, look-ups, re-filing under
another evaluator, and the whole road from a gate set to a Quartz file."""

import gc
import json

import numpy as np
import pytest

from tandrel import ECC, ECCs, Evaluator, Gate, Instr, PanicException, RawECCs
from tandrel import _probe as probe
from support.unitary import circuit_unitary, perm_matrix

h, t, cx, x = (Gate.from_name(n) for n in ["h", "t", "cx", "x"])
NIL = probe.ALIAS_NIL


def members(ecc):
    return [[str(i) for i in c] for c in ecc.circuits()]


def test_simplify_of_a_fresh_table():
    e = Evaluator(3)
    classes = RawECCs(e).simplify()
    assert isinstance(classes, ECCs) and len(classes) == 1 and classes.nqubits == 3
    (only,) = classes.to_list()
    assert members(only) == [[]] and str(classes) == ""


def test_simplify_renumbers_qubits_of_the_first_member():
    table = RawECCs(Evaluator(3))
    identity = (0, 1, 2)
    assert probe.raw_eccs_add_entry(table, 12345, identity, identity, NIL, [Instr(cx, [1, 2])]) is not None
    bucket = [c for c in table.simplify().to_list() if members(c) != [[]]]
    assert [members(c) for c in bucket] == [[["cx(0, 1)"]]]


def search_classes(gates, n, size):
    e = Evaluator(n)
    raw, counters = RawECCs.generate(e, gates, size)
    return e, raw, raw.simplify()


def member_unitary(instrs, perm, n):
    return perm_matrix(perm, n) @ circuit_unitary(instrs, n)


def test_simplified_classes_are_sorted_sound_and_first_is_shortest():
    e, raw, classes = search_classes([h, t, cx], 3, 3)
    listed = classes.to_list()
    assert len(listed) == len(probe.raw_eccs_buckets(raw))
    for ecc in listed:
        circuits = ecc.circuits()
        assert len(circuits[0]) == min(len(c) for c in circuits)
        u0 = circuit_unitary(circuits[0], 3)
        for c in circuits[1:]:
            u = circuit_unitary(c, 3)
            k = np.argmax(np.abs(u0))
            np.testing.assert_allclose(u * (u0.flat[k] / u.flat[k]), u0, atol=1e-9)
        used = sorted({q for i in circuits[0] for q in i.qargs})
        assert used == list(range(len(used)))  # first member's qubits are 0..k-1
    assert classes.check() == []
    assert classes.filter_single().check() == []


def test_find_equivalents_and_next_key():
    e, raw, classes = search_classes([h, x, cx], 2, 3)
    hh = [Instr(h, [0]), Instr(h, [0])]
    found = raw.find_equivalents(e, hh)
    assert isinstance(found, ECC)
    texts = [" ".join(map(str, c)) for c in found.circuits()]
    assert "" in texts  # h h is the identity class
    assert raw.find_equivalents(e, [Instr(h, [0]), Instr(x, [0]), Instr(h, [0]), Instr(cx, [0, 1])] * 3) is None
    assert raw.compute_next_key(e, 12345, Instr(h, [0])) is None
    k = raw.compute_next_key(e, e.initial_key(), Instr(h, [1]))
    assert k == e.evaluate([Instr(h, [1])])[0].hash_value()


def test_switch_evaluator_keeps_keys_and_lists_and_cells():
    e, raw, _ = search_classes([h, t, cx], 3, 3)
    same = raw.switch_evaluator(e)
    before = probe.raw_eccs_buckets(raw)
    after = {b[0]: b for b in probe.raw_eccs_buckets(same)}
    assert {b[0] for b in before} == set(after)
    for key, size, _, _, triples in before:
        assert [list(map(str, tr[1])) for tr in after[key][4]] == [list(map(str, tr[1])) for tr in triples]
        assert probe.raw_eccs_lists(same, key) == probe.raw_eccs_lists(raw, key)
    other = raw.switch_evaluator(Evaluator(3))
    expected = len(before)
    del raw, same
    gc.collect()
    # the re-filed table still reads its circuits after the source table is gone
    assert len(other.simplify()) == expected
    assert other.simplify().check() == []


def test_end_to_end_quartz_file(tmp_path):
    e = Evaluator(3)
    raw, counters = RawECCs.generate(e, [h, t, cx], 3)
    classes = raw.simplify().filter_single()
    assert classes.check() == []
    path = tmp_path / "eccs.json"
    classes.dump_quartz(str(path))
    doc = json.loads(path.read_text())
    assert isinstance(doc, list) and len(doc) == 2 and doc[0] == [[0], [0]]
    keys = list(doc[1])
    assert keys == sorted(keys) and len(keys) >= len(classes)
    listed = classes.to_list()
    for key, exported in doc[1].items():
        index, export = key.split("_")
        ecc = listed[int(index, 16)]
        assert len(exported) == len(ecc.circuits())
        widths = {c[0][0] for c in exported}
        assert len(widths) == 1  # one qubit count per exported class
        for circuit in exported:
            assert circuit[0][1] == len(circuit[1])
            for name, qubits, again in circuit[1]:
                assert qubits == again and all(q.startswith("Q") and int(q[1:]) < circuit[0][0] for q in qubits)
        if export == "0":  # the first export pivots on the first member, which carries no swaps
            assert [g[0] for g in exported[0][1]] == [str(i.gate) for i in ecc.circuits()[0]]


def test_bad_table_input():
    e = Evaluator(2)
    raw, _ = RawECCs.generate(e, [h], 1)
    with pytest.raises(OverflowError):
        raw.compute_next_key(e, -1, Instr(h, [0]))
    with pytest.raises(PanicException, match="index out of bounds"):
        raw.find_equivalents(e, [Instr(h, [5])])
