"""ns per call of StateVec.hash_value, normalize_arg and random, timed in C++ (no Python call overhead)."""

from tandrel import _probe


def main():
    for n, iters in [(3, 2_000_000), (10, 20_000)]:
        r = _probe.bench_state_vec(n, iters)
        print(f"{n:2d} qubits: " + "  ".join(f"{k} {v:9.1f} ns" for k, v in r.items()))


if __name__ == "__main__":
    main()
