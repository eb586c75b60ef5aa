"""Finished classes (display, swap materialisation, checks, filtering) and the Quartz JSON export."""

import json
import os
import stat

import pytest

from tandrel import ECC, ECCs, Gate, Instr
from tandrel import _probe as probe

h, x, cx, swap, t = (Gate.from_name(n) for n in ["h", "x", "cx", "swap", "t"])
ID2 = (0, 1)
SWAP01 = (1, 0)


def i(g, *q):
    return Instr(g, list(q))


def make(classes, n=2):
    return probe.make_eccs(classes, n)


def texts(circuits):
    return [" ".join(map(str, c)) for c in circuits]


# cx(0,1) = swap . cx(1,0) . swap, so cx(1,0) followed by relabelling (1 0) ... is written with the pivot's swaps
CX_CLASS = [([i(cx, 0, 1)], ID2), ([i(swap, 0, 1), i(cx, 1, 0)], SWAP01)]


def test_swaps_materialised_relative_to_the_first_member():
    e = make([CX_CLASS]).to_list()[0]
    assert texts(e.circuits()) == ["cx(0, 1)", "swap(0, 1) cx(1, 0) swap(0, 1)"]
    assert str(e) == "ECC {\n\tcx(0, 1),\n\tswap(0, 1) cx(1, 0) swap(0, 1),\n}"
    plain = make([[([i(h, 0), i(h, 0)], ID2), ([], ID2)]]).to_list()[0]
    assert texts(plain.circuits()) == ["h(0) h(0)", ""]


def test_collection_display_filter_and_equality():
    single = [([i(h, 0)], ID2)]
    pair = [([i(h, 0), i(h, 0)], ID2), ([], ID2)]
    e = make([single, pair, CX_CLASS])
    assert len(e) == 3 and e.nqubits == 2
    assert str(e) == str(e.to_list()[1]) + " & " + str(e.to_list()[2])
    f = e.filter_single()
    assert len(f) == 2 and len(e) == 3 and f.nqubits == 2
    only_singles = make([single, single], 3).filter_single()
    assert len(only_singles) == 0 and only_singles.nqubits == 3 and str(only_singles) == ""
    assert e == make([single, pair, CX_CLASS]) and e != f and (e == 1) is False
    with pytest.raises(TypeError):
        hash(e)
    with pytest.raises(TypeError, match="cannot create 'ECC' instances"):
        ECC()
    with pytest.raises(TypeError):
        ECCs()


def test_check_flags_only_wrong_classes():
    wrong = [([i(cx, 0, 1)], ID2), ([i(cx, 1, 0)], SWAP01)]  # cx(1,0) then relabelling is not cx(0,1)
    good = make([CX_CLASS, [([i(x, 0), i(x, 0)], ID2), ([], ID2)], wrong])
    failing = good.check()
    assert [str(c) for c in failing] == [str(good.to_list()[2])]


def quartz(tmp_path, eccs):
    path = tmp_path / "out.json"
    eccs.dump_quartz(str(path))
    text = path.read_text()
    return text, json.loads(text)


def test_quartz_layout(tmp_path):
    text, doc = quartz(tmp_path, make([[([i(h, 0)], ID2)]]))
    assert text == "[[[0],[0]],{}]"
    text, doc = quartz(tmp_path, make([[([i(h, 0), i(h, 0)], ID2), ([], ID2)]]))
    assert text == '[[[0],[0]],{"0_0":[[[1,2],[["h",["Q0"],["Q0"]],["h",["Q0"],["Q0"]]]],[[1,0],[]]]}]'
    assert " " not in text and not text.endswith("\n")


def test_quartz_pivots_and_swaps(tmp_path):
    _, doc = quartz(tmp_path, make([CX_CLASS]))
    classes = doc[1]
    assert list(classes) == ["0_0", "0_1"]
    first, second = classes["0_0"], classes["0_1"]
    assert first[0] == [[2, 1], [["cx", ["Q0", "Q1"], ["Q0", "Q1"]]]]
    assert first[1][1][-1] == ["swap", ["Q0", "Q1"], ["Q0", "Q1"]]
    assert second[0][1][-1] == ["swap", ["Q0", "Q1"], ["Q0", "Q1"]] and len(second[1][1]) == 2


def test_quartz_keys_sort_as_strings_and_widths_agree(tmp_path):
    pair = [([i(h, 0), i(h, 0)], ID2), ([], ID2)]
    mixed = [([i(cx, 0, 1), i(cx, 0, 1)], ID2), ([], ID2)]
    classes = [pair if k in (2, 16) else [([i(h, 0)], ID2)] for k in range(17)]
    classes[3] = mixed
    text, doc = quartz(tmp_path, make(classes))
    assert list(doc[1]) == ["10_0", "2_0", "3_0"]
    assert text.index('"10_0"') < text.index('"2_0"')
    # every circuit of an export carries the export's width
    assert [c[0] for c in doc[1]["3_0"]] == [[2, 2], [2, 0]]
    assert [c[0] for c in doc[1]["2_0"]] == [[1, 2], [1, 0]]


def test_quartz_gate_names_are_escaped(tmp_path):
    import numpy as np

    odd = Gate('we"ird\\g\n', [], np.array([[0, 1j], [1j, 0]]))
    _, doc = quartz(tmp_path, make([[([i(odd, 0), i(odd, 0)], ID2), ([i(x, 0), i(x, 0)], ID2)]]))
    assert doc[1]["0_0"][0][1][0][0] == 'we"ird\\g\n'
    assert probe.json_string("\x01\t\u2020") == '"\\u0001\\t\u2020"'


def test_quartz_file_errors(tmp_path):
    e = make([[([i(h, 0)], ID2)]])
    with pytest.raises(OSError, match="^Failed to create file: No such file or directory"):
        e.dump_quartz(str(tmp_path / "missing" / "x.json"))
    target = tmp_path / "existing.json"
    target.write_text("x" * 1000)
    e.dump_quartz(target)  # os.PathLike accepted; truncated
    assert target.read_text() == "[[[0],[0]],{}]"
    mode = stat.S_IMODE(os.stat(target).st_mode)
    assert mode & 0o600 == 0o600
    if os.path.exists("/dev/full"):
        with pytest.raises(ValueError, match="^Failed to write JSON: "):
            e.dump_quartz("/dev/full")
    with pytest.raises(TypeError):
        e.dump_quartz(3)


@pytest.mark.parametrize(
    "name, written",
    [
        # a name that is not UTF-8 reaches Python with surrogate escapes and goes back to the same bytes, as with open()
        (os.fsdecode(b"e\xffx.json"), b"e\xffx.json"),
        ("\u2020.json", "\u2020.json".encode()),
    ],
)
def test_quartz_path_is_encoded_like_open(tmp_path, name, written):
    make([[([i(h, 0)], ID2)]]).dump_quartz(str(tmp_path / name))
    assert os.listdir(os.fsencode(tmp_path)) == [written]


def test_quartz_path_with_null_byte_is_refused(tmp_path):
    with pytest.raises(ValueError, match="null byte"):
        make([[([i(h, 0)], ID2)]]).dump_quartz(str(tmp_path / "a\0b.json"))
    assert os.listdir(tmp_path) == []


def test_identity_circuits_of_classes():
    from tandrel import Circ, IdentityCirc

    three = [([i(h, 0), i(h, 0)], ID2), ([i(x, 0), i(x, 0)], ID2), ([], ID2)]
    triples = make([three, [([i(h, 1)], ID2)], CX_CLASS]).to_identity_circuits()
    assert len(triples) == 3
    assert all(isinstance(a, IdentityCirc) and isinstance(b, Circ) and isinstance(c, Circ) for a, b, c in triples)
    assert [t[0] for t in triples] == sorted(t[0] for t in triples)
    from_three = [t for t in triples if str(t[1]) == str(Circ([i(h, 0), i(h, 0)], (0, 1)).inverse())]
    assert len(from_three) == 2 and from_three[0][1] == from_three[1][1]
    for identity, first_inv, other in triples:
        identity.check()
        assert (first_inv + other).rotate_representative() == identity
