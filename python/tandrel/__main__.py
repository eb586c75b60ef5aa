"""Command line of tandrel."""

import sys


def main(argv=None):
    import tandrel

    state = tandrel.StateVec.random(3)
    print("random 3-qubit state:", state)
    print("normalised:", state.check(), " key:", hex(state.hash_value()))
    symmetric = tandrel.StateVec.random_symmetric(3)
    print("permutation-symmetric state:", symmetric)
    return 0


if __name__ == "__main__":
    sys.exit(main())
