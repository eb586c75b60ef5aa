"""tandrel: equivalence classes of small quantum circuits, their exports, and an identity prover.

The classes live in the compiled module ``tandrel.tandrel`` and are re-exported here.
"""

from . import tandrel as _ext
from ._runtime import PanicException

# The extension's initialisation also registered the private module tandrel._probe (tests and benchmarks).

_CLASSES = [name for name in dir(_ext) if isinstance(getattr(_ext, name), type)]
globals().update({name: getattr(_ext, name) for name in _CLASSES})

__all__ = sorted(_CLASSES) + ["PanicException"]
