"""Independent SipHash-1-3 reference: CPython's own hash() of bytes with PYTHONHASHSEED=0 (zero keys)."""

import os
import subprocess
import sys


def python_hash_of_bytes(chunks):
    """Returns CPython's hash() of each byte string, computed in a fresh interpreter with zero hash keys."""
    code = "import sys\nfor line in sys.stdin:\n    print(hash(bytes.fromhex(line.strip())))\n"
    env = dict(os.environ, PYTHONHASHSEED="0")
    out = subprocess.run(
        [sys.executable, "-c", code],
        input="".join(c.hex() + "\n" for c in chunks),
        capture_output=True,
        text=True,
        env=env,
        check=True,
    ).stdout
    return [int(x) for x in out.split()]


def reduce_hash(h64):
    """The interpreter-width signed reduction CPython applies to a 64-bit hash (-1 becomes -2)."""
    r = h64 - (1 << 64) if h64 >= 1 << 63 else h64
    return -2 if r == -1 else r
