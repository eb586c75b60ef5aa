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
