"""Exact verification of Quartz ECC-set files: every circuit's unitary rebuilt with NumPy from the built-in gate
matrices, and the circuits of each class compared up to global phase.

Accepted layout: a two-element array whose second element maps class keys to lists of circuits; a circuit is
[[width, gate count], [[gate name, [qubits...], [inputs...]], ...]] with qubits written "Q<index>". The input
list may repeat the qubits (as tandrel writes it); any other input (such as a symbolic parameter) is refused.
"""

import json
import re

import numpy as np

TOLERANCE = 1e-9
# A circuit's unitary takes 16 * 4^width bytes (16 MiB at 10 qubits) and every gate touches all of it.
MAX_WIDTH = 10
_QUBIT = re.compile(r"^Q([0-9]+)$")
# Longer qubit numbers are beyond every width anyway (and int() refuses very long digit strings).
_MAX_QUBIT_DIGITS = 9


class FileProblem(Exception):
    """The file cannot be read as an ECC set (malformed JSON, unknown gate, qubit beyond the width...)."""


def _gate_matrix(name, cache):
    if not isinstance(name, str):  # also keeps unhashable values away from the cache
        raise FileProblem(f"unknown gate {name!r}")
    if name not in cache:
        from . import Gate

        gate = Gate.from_name(name)
        if gate is None:
            raise FileProblem(f"unknown gate {name!r}")
        cache[name] = np.asarray(gate.matrix, dtype=complex)
    return cache[name]


def _qubits(names, where):
    if not isinstance(names, list):
        raise FileProblem(f"{where}: qubit list is not an array")
    out = []
    for q in names:
        m = _QUBIT.match(q) if isinstance(q, str) else None
        if m is None:
            raise FileProblem(f"{where}: {q!r} is not a qubit of the form Q<index>")
        digits = len(m.group(1).lstrip("0"))
        if digits > _MAX_QUBIT_DIGITS:
            raise FileProblem(f"{where}: a qubit index of {digits} digits is beyond any width this check can verify")
        out.append(int(m.group(1)))
    return out


def _apply(u, matrix, qubits, n):
    """Applies a gate (first qubit argument most significant in its matrix) to the rows of u (2^n x 2^n)."""
    k = len(qubits)
    dim = 1 << n
    t = u.reshape((2,) * n + (dim,))
    axes = [n - 1 - q for q in qubits]  # bit q of an index is qubit q
    g = matrix.reshape((2,) * (2 * k))
    t = np.tensordot(g, t, axes=(list(range(k, 2 * k)), axes))
    # tensordot puts the gate's output axes first; move them back to where the qubits were
    t = np.moveaxis(t, list(range(k)), axes)
    return t.reshape(dim, dim)


def circuit_unitary(circuit, width, where, cache, bound=None):
    """The unitary of one circuit value on `width` qubits; its qubits must be below `bound` (its header's width)."""
    bound = width if bound is None else bound
    if not (isinstance(circuit, list) and len(circuit) == 2 and isinstance(circuit[1], list)):
        raise FileProblem(f"{where}: a circuit must be [header, gates]")
    u = np.eye(1 << width, dtype=complex)
    for gi, gate in enumerate(circuit[1]):
        here = f"{where}, gate {gi}"
        if not (isinstance(gate, list) and len(gate) >= 2):
            raise FileProblem(f"{here}: a gate must be [name, qubits, inputs]")
        matrix = _gate_matrix(gate[0], cache)
        qubits = _qubits(gate[1], here)
        if len(gate) > 2 and gate[2] != gate[1]:
            _qubits(gate[2], here)  # inputs other than the qubits themselves are not supported
            raise FileProblem(f"{here}: inputs {gate[2]!r} differ from the qubits {gate[1]!r}")
        if matrix.shape[0] != 1 << len(qubits):
            raise FileProblem(f"{here}: gate {gate[0]!r} takes {matrix.shape[0].bit_length() - 1} qubits")
        if len(set(qubits)) != len(qubits):
            raise FileProblem(f"{here}: repeated qubit in {gate[1]!r}")
        for q in qubits:
            if q >= bound:
                raise FileProblem(f"{here}: qubit Q{q} is beyond the header's width {bound}")
        u = _apply(u, matrix, qubits, width)
    return u


def phase_distance(a, b):
    """The largest entry difference between a and b after the best global phase is taken out of b."""
    flat_a, flat_b = a.ravel(), b.ravel()
    k = int(np.argmax(np.abs(flat_a)))
    if abs(flat_b[k]) < 1e-12:
        return float(np.max(np.abs(flat_a - flat_b)))
    phase = flat_a[k] / flat_b[k]
    phase /= abs(phase)
    return float(np.max(np.abs(a - phase * b)))


def read_classes(path):
    """The classes of a file as (key, circuits); FileProblem when it is not an ECC set."""
    try:
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
    except OSError as e:
        raise FileProblem(f"cannot read {path}: {e.strerror or e}") from None
    except (json.JSONDecodeError, UnicodeDecodeError) as e:
        raise FileProblem(f"{path} is not valid JSON: {e}") from None
    except RecursionError:
        raise FileProblem(f"{path} is nested too deeply to be an ECC set") from None
    if not (isinstance(doc, list) and len(doc) == 2 and isinstance(doc[1], dict)):
        raise FileProblem(f"{path}: expected a two-element array whose second element maps keys to classes")
    classes = []
    for key, circuits in doc[1].items():
        if not isinstance(circuits, list):
            raise FileProblem(f"class {key}: not an array of circuits")
        classes.append((key, circuits))
    return classes


def verify_class(key, circuits, cache):
    """None when the class holds, else (indices of the disagreeing circuits, the largest entry difference)."""
    width = 1
    for ci, c in enumerate(circuits):
        header = c[0] if isinstance(c, list) and c else None
        count = header[0] if isinstance(header, list) and header else None
        if not (isinstance(count, int) and not isinstance(count, bool) and count >= 0):
            raise FileProblem(f"class {key}, circuit {ci}: a header must start with the qubit count")
        if count > MAX_WIDTH:
            raise FileProblem(f"class {key}, circuit {ci}: {count} qubits is too wide to verify exactly")
        width = max(width, count)
    # Qubits are checked against each circuit's own header; the unitaries are built on the widest of the class,
    # one at a time against the first, so that a large class holds two of them at once.
    first = None
    bad, worst = [], 0.0
    for ci, c in enumerate(circuits):
        u = circuit_unitary(c, width, f"class {key}, circuit {ci}", cache, bound=c[0][0])
        if first is None:
            first = u
            continue
        d = phase_distance(first, u)
        if d > TOLERANCE:
            bad.append(ci)
            worst = max(worst, d)
    return (bad, worst) if bad else None
