"""ns per evaluation through the C++ API, against the bare cost of running the same gates forward and backward.

The bar: for 3 qubits and 4 gates an evaluation costs at most 3 times the bare application.
"""

from tandrel import Gate, Instr
from tandrel import _probe


def circuit(gates):
    return [Instr(Gate.from_name(name), list(q)) for name, *q in gates]


WORKLOADS = [
    (3, circuit([("h", 0), ("cx", 0, 1), ("t", 1), ("cx", 1, 2)])),
    (3, circuit([("h", 0), ("cx", 0, 1), ("t", 1), ("cx", 1, 2), ("h", 2), ("tdg", 0), ("cx", 2, 0), ("t", 2)])),
    (5, circuit([("h", 0), ("cx", 0, 1), ("t", 2), ("cx", 2, 3), ("h", 4), ("cx", 4, 1)])),
]


def main():
    for n, c in WORKLOADS:
        r = _probe.bench_evaluate(n, c, 200_000)
        print(
            f"{n} qubits, {len(c)} gates: evaluate {r['evaluate']:8.1f} ns   bare forward+backward {r['bare']:7.1f} ns"
            f"   ratio {r['evaluate'] / r['bare']:.2f}"
        )


if __name__ == "__main__":
    main()
