"""Writes the type stubs of the compiled module: <package dir>/tandrel.pyi and the py.typed marker.

The module's classes report "builtins" as their module; the stub generator would take them for aliases of
builtins and drop them, so they are attributed to the module while the stubs are generated.
"""

import importlib
import sys
from pathlib import Path

from nanobind.stubgen import StubGen


def main(package_dir: str) -> None:
    pkg = Path(package_dir)
    sys.path.insert(0, str(pkg))
    module = importlib.import_module("tandrel")
    classes = [v for v in vars(module).values() if isinstance(v, type)]
    for cls in classes:
        cls.__module__ = "tandrel"
    try:
        gen = StubGen(module)
        gen.put(module)
        text = gen.get()
    finally:
        for cls in classes:
            cls.__module__ = "builtins"
    (pkg / "tandrel.pyi").write_text(text)
    (pkg / "py.typed").touch()


if __name__ == "__main__":
    main(sys.argv[1])
