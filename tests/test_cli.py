"""The command line, run in a subprocess: generate writes a file that verify accepts; verify catches faults."""

import json
import os
import subprocess
import sys

import pytest

from tandrel import Gate, Instr
from tandrel import _probe as probe


def run(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "tandrel", *args], capture_output=True, text=True, cwd=cwd)


def sample_file(path):
    h, cx, swap = (Gate.from_name(n) for n in ["h", "cx", "swap"])
    eccs = probe.make_eccs(
        [
            [([Instr(h, [0]), Instr(h, [0])], (0, 1)), ([], (0, 1))],
            [([Instr(cx, [0, 1])], (0, 1)), ([Instr(swap, [0, 1]), Instr(cx, [1, 0])], (1, 0))],
        ],
        2,
    )
    eccs.dump_quartz(str(path))
    return json.loads(path.read_text())


def test_generate_then_verify(tmp_path):
    out = tmp_path / "eccs.json"
    r = run("generate", "--gates", "h,x,cx", "--qubits", "2", "--size", "3", "--out", str(out))
    assert r.returncode == 0, r.stderr
    assert r.stdout.startswith("#0 Exploring  (0 queued, 1 ECCs, 0 circs, 0 circs perm)\n")
    for word in ["instructions:", "explored", "written:", "time:", "peak memory:"]:
        assert word in r.stderr
    doc = json.loads(out.read_text())
    assert doc[0] == [[0], [0]] and len(doc[1]) > 0
    v = run("verify", str(out))
    assert v.returncode == 0, v.stdout + v.stderr
    assert "all equal" in v.stdout.splitlines()[-1]


def test_default_output_name(tmp_path):
    r = run("generate", "--gates", "h", "--qubits", "1", "--size", "2", cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "eccs_h_1q_2.json").exists()


def test_verify_accepts_and_rejects(tmp_path):
    path = tmp_path / "s.json"
    doc = sample_file(path)
    assert run("verify", str(path)).returncode == 0
    # foreign conventions: other keys, each circuit with its own width, inputs not repeated
    foreign = [[[2, 0]], {"ecc_a": [[[1, 2], [["h", ["Q0"], ["Q0"]], ["h", ["Q0"], ["Q0"]]]], [[1, 0], []]]}]
    (tmp_path / "f.json").write_text(json.dumps(foreign))
    assert run("verify", str(tmp_path / "f.json")).returncode == 0
    # alter one circuit: the class is named and the status is 1
    key = sorted(doc[1])[-1]
    doc[1][key][1][1][-1][0] = "cz"
    (tmp_path / "bad.json").write_text(json.dumps(doc))
    r = run("verify", str(tmp_path / "bad.json"))
    assert r.returncode == 1 and f"class {key}: circuits 1 differ" in r.stdout


@pytest.mark.parametrize(
    "content, message",
    [
        ("[1,", "is not valid JSON"),
        ('{"a": 1}', "expected a two-element array"),
        ('[[[0],[0]],{"0_0":[[[1,1],[["nosuch",["Q0"],["Q0"]]]]]}]', "unknown gate 'nosuch'"),
        ('[[[0],[0]],{"0_0":[[[1,1],[["h",["Q1"],["Q1"]]]]]}]', "beyond the header's width 1"),
        ('[[[0],[0]],{"0_0":[[[1,1],[["h",["P0"],["P0"]]]]]}]', "is not a qubit"),
        ('[[[0],[0]],{"0_0":[[[2,1],[["cx",["Q0"],["Q0"]]]]]}]', "takes 2 qubits"),
        # nesting beyond the JSON reader's recursion limit
        pytest.param("[" * 100000 + "]" * 100000, "nested too deeply", id="deep-nesting"),
        # gate names that are not strings (unhashable ones among them)
        ('[[[0],[0]],{"0_0":[[[1,1],[[["h"],["Q0"],["Q0"]]]]]}]', "unknown gate ['h']"),
        ('[[[0],[0]],{"0_0":[[[1,1],[[{"h":1},["Q0"],["Q0"]]]]]}]', "unknown gate {'h': 1}"),
        # a qubit number too long for int(), and digits other than 0-9
        pytest.param('[[[0],[0]],{"0_0":[[[1,1],[["h",["Q' + "9" * 5000 + '"],["Q0"]]]]]}]', "beyond any width",
                     id="long-qubit-number"),
        ('[[[0],[0]],{"0_0":[[[2,1],[["h",["Q\u0661"],["Q\u0661"]]]]]}]', "is not a qubit"),
        # widths whose unitaries would not fit in memory, and a boolean where the count belongs
        ('[[[0],[0]],{"0_0":[[[16,1],[["h",["Q0"],["Q0"]]]]]}]', "too wide to verify exactly"),
        ('[[[0],[0]],{"0_0":[[[11,0],[]]]}]', "too wide to verify exactly"),
        ('[[[0],[0]],{"0_0":[[[true,1],[["h",["Q0"],["Q0"]]]]]}]', "must start with the qubit count"),
    ],
)
def test_verify_bad_files(tmp_path, content, message):
    path = tmp_path / "x.json"
    path.write_text(content)
    r = run("verify", str(path))
    assert r.returncode == 2 and message in r.stderr and "Traceback" not in r.stderr
    assert len(r.stderr.strip().splitlines()) == 1


@pytest.mark.parametrize(
    "args, message",
    [
        (["--gates", "h,nosuch"], "unknown gate 'nosuch'"),
        (["--qubits", "0"], "between 1 and 8"),
        (["--qubits", "9"], "between 1 and 8"),
        (["--size", "-1"], "must not be negative"),
        (["--out", "/nonexistent-dir/x.json"], "does not exist"),
        (["--gates", "cx", "--qubits", "1"], "needs 2 qubits"),
    ],
)
def test_generate_bad_input(tmp_path, args, message):
    r = run("generate", *args, cwd=tmp_path)
    assert r.returncode == 2 and message in r.stderr and "Traceback" not in r.stderr
    assert len(r.stderr.strip().splitlines()) == 1 and r.stdout == ""
    assert os.listdir(tmp_path) == []


def test_verify_compares_every_member_with_the_first(tmp_path):
    # a wide class: ten qubits is the widest width that is checked
    member = [[10, 2], [["h", ["Q9"], ["Q9"]], ["h", ["Q9"], ["Q9"]]]]
    doc = [[[0], [0]], {"0_0": [member, [[10, 0], []], member, [[1, 1], [["x", ["Q0"], ["Q0"]]]]]}]
    path = tmp_path / "wide.json"
    path.write_text(json.dumps(doc))
    r = run("verify", str(path))
    assert r.returncode == 1 and "class 0_0: circuits 3 differ from circuit 0" in r.stdout


def test_generate_writes_a_name_that_is_not_utf8(tmp_path):
    out = os.fsencode(tmp_path) + b"/e\xff.json"
    r = subprocess.run([sys.executable, "-m", "tandrel", "generate", "--gates", "h", "--qubits", "1", "--size", "2",
                        "--out", out], capture_output=True)
    assert r.returncode == 0, r.stderr
    assert os.listdir(os.fsencode(tmp_path)) == [b"e\xff.json"]


def test_ctrl_c_stops_a_long_search():
    import signal

    code = (
        "import tandrel as t\n"
        "g = [t.Gate.from_name(n) for n in ['h', 't', 'cx']]\n"
        "t.RawECCs.generate(t.Evaluator(4), g, 12)\n"
    )
    p = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert p.stdout.readline().startswith("#0 Exploring")
        p.send_signal(signal.SIGINT)
        _, err = p.communicate(timeout=60)
    finally:
        p.kill()
    assert p.returncode != 0 and "KeyboardInterrupt" in err
