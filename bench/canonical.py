"""µs per canonical form of identity circuits, timed in C++: `representative`, the rotation search alone, and
`rotate_representative` (the search and the randomized check), beside the plain composition of the circuit
operations (one fresh circuit per candidate) that the buffered search replaces.

The identity prover computes these for every rewrite it tries, so they should stay in the low microseconds for
the sizes it meets (identities of up to a dozen instructions on up to five qubits).
"""

import random

from tandrel import Circ, Gate, Instr
from tandrel import _probe

ONE = ["h", "t", "s", "x", "tdg"]
TWO = ["cx", "cz"]


def identity(rng, n, length):
    """A scrambled identity of `length` instructions whose largest qubit is n - 1, so that the canonical forms
    search all n! relabellings: c followed by its inverse, relabelled and rotated."""
    while True:
        instrs = []
        for _ in range(length // 2):
            g = Gate.from_name(rng.choice(ONE + TWO if rng.random() < 0.6 else ONE))
            instrs.append(Instr(g, rng.sample(range(n), g.nqargs)))
        c = Circ(instrs, list(range(n)))
        perm = list(range(n))
        rng.shuffle(perm)
        ident = (c + c.inverse()).permut(perm).rotate(rng.randrange(length))
        if max(q for i in ident.instrs for q in i.qargs) == n - 1:
            return ident


def main():
    rng = random.Random(7)
    print("qubits  instrs   representative   rotation search   rotate_representative   check"
          "   plain representative   plain rotation search   (µs)")
    for n in (3, 5):
        for length in (4, 8, 12):
            circuits = [identity(rng, n, length) for _ in range(8)]
            iters = 2000 if n == 3 else 200
            rows = [_probe.bench_canonical(c, iters) for c in circuits]

            def mean(key):
                return sum(r[key] for r in rows) / len(rows) / 1000.0

            print(f"{n:6d}  {length:6d}   {mean('representative'):14.2f}   {mean('rotation_canonical'):15.2f}"
                  f"   {mean('rotate_representative'):21.2f}   {mean('check'):5.2f}"
                  f"   {mean('plain_representative'):20.2f}   {mean('plain_rotation_canonical'):21.2f}")


if __name__ == "__main__":
    main()
