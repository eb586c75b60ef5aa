"""Gate registry: the built-in table, deduplication by matrix, adjoints, lookups, display and the Python class.

The probe module carries a registry of its own (the core is linked into each extension module), so probe
functions that take handles are used with built-in gates or with gates they registered themselves; handles of
Python `Gate` objects are read with `probe.gate_handle`, which only reads the object.
"""

import itertools
import math
import struct
import subprocess
import sys

import numpy as np
import pytest

from tandrel import Gate, PanicException
from tandrel import _probe as probe
from support.siphash_ref import python_hash_of_bytes

R = 0.7071067811865476
PI = 3.141592653589793


def diag(*entries):
    return np.diag(np.array(entries, dtype=np.complex128))


def controlled(u):
    m = np.eye(4, dtype=np.complex128)
    m[2:, 2:] = u
    return m


X_NP = np.array([[0, 1], [1, 0]], dtype=np.complex128)
Y_NP = np.array([[0, -1j], [1j, 0]], dtype=np.complex128)
Z_NP = diag(1, -1)
H_NP = np.array([[R, R], [R, -R]], dtype=np.complex128)
T_NP = diag(1, complex(0.7071067811865476, 0.7071067811865475))
SWAP_NP = np.eye(4, dtype=np.complex128)[[0, 2, 1, 3]]

# (handle, name, params, matrix written out here, display, adjoint display)
BUILTINS = [
    (0, "i", [], np.eye(2, dtype=np.complex128), "i", "i"),
    (1, "h", [], H_NP, "h", "h"),
    (2, "x", [], X_NP, "x", "x"),
    (3, "z", [], Z_NP, "z", "z"),
    (4, "y", [], Y_NP, "y", "y"),
    (5, "s", [], diag(1, 1j), "s", "sdg"),
    (6, "sdg", [], diag(1, -1j), "sdg", "s"),
    (7, "t", [], T_NP, "t", "tdg"),
    (8, "tdg", [], diag(1, complex(0.7071067811865476, -0.7071067811865475)), "tdg", "t"),
    (9, "cx", [], controlled(X_NP), "cx", "cx"),
    (10, "cz", [], diag(1, 1, 1, -1), "cz", "cz"),
    (11, "cy", [], controlled(Y_NP), "cy", "cy"),
    (12, "cs", [], diag(1, 1, 1, 1j), "cs", "csdg"),
    (13, "csdg", [], diag(1, 1, 1, -1j), "csdg", "cs"),
    (14, "swap", [], SWAP_NP, "swap", "swap"),
    (15, "t1/2", [], diag(1, complex(0.9238795325112867, 0.3826834323650898)), "t1/2", "tdg1/2"),
    (16, "tdg1/2", [], diag(1, complex(0.9238795325112867, -0.3826834323650898)), "tdg1/2", "t1/2"),
    (17, "rz", ["pi/3"], diag(1, complex(0.5000000000000001, 0.8660254037844386)), "rz(pi/3)", "rz(-pi/3)"),
    (18, "rz", ["-pi/3"], diag(1, complex(0.5000000000000001, -0.8660254037844386)), "rz(-pi/3)", "rz(pi/3)"),
    (19, "rz", ["pi/5"], diag(1, complex(0.8090169943749475, 0.5877852522924731)), "rz(pi/5)", "rz(-pi/5)"),
    (20, "rz", ["-pi/5"], diag(1, complex(0.8090169943749475, -0.5877852522924731)), "rz(-pi/5)", "rz(pi/5)"),
    (21, "rz", ["pi/16"], diag(1, complex(0.9807852804032304, 0.19509032201612825)), "rz(pi/16)", "rz(-pi/16)"),
    (22, "rz", ["-pi/16"], diag(1, complex(0.9807852804032304, -0.19509032201612825)), "rz(-pi/16)", "rz(pi/16)"),
]
BUILTIN_IDS = [b[4] for b in BUILTINS]


def handle(g):
    return probe.gate_handle(g)


def rotation(angle):
    """A real rotation: unitary, not Hermitian, and (for angles used nowhere else) not registered."""
    c, s = math.cos(angle), math.sin(angle)
    return np.array([[c, -s], [s, c]], dtype=np.complex128)


_angles = itertools.count(1)


def fresh_matrix():
    """A unitary that no other test registers: rotations by distinct angles in (1, 2)."""
    return rotation(1.0 + next(_angles) * 1e-4)


def fresh_handle():
    """Registers a new gate and returns its handle: the next free position of the registry."""
    return handle(Gate("probe", [], fresh_matrix()))


@pytest.mark.parametrize("h, name, params, matrix, display, adjoint", BUILTINS, ids=BUILTIN_IDS)
def test_builtin_table(h, name, params, matrix, display, adjoint):
    g = Gate.from_name(display)
    assert g is not None and handle(g) == h
    assert (g.name, g.params, str(g)) == (name, params, display)
    assert g.nqargs == int(math.log2(matrix.shape[0]))
    m = g.matrix
    assert m.dtype == np.complex128 and m.shape == matrix.shape and m.flags.f_contiguous
    assert np.array_equal(m, matrix)  # the stored constants, bit for bit


@pytest.mark.parametrize("display, angle", [("t", PI / 4), ("t1/2", PI / 8), ("tdg1/2", -PI / 8), ("rz(pi/3)", None),
                                            ("rz(-pi/5)", None), ("rz(pi/16)", None), ("s", PI / 2)])
def test_phase_constants_are_the_phases_they_name(display, angle):
    g = Gate.from_name(display)
    a = g.params_f[0] if angle is None else angle
    assert g.matrix[0, 0] == 1
    assert abs(g.matrix[1, 1] - complex(math.cos(a), math.sin(a))) < 1e-15  # diag(1, w(a)), not diag(w(-a/2), w(a/2))


@pytest.mark.parametrize("h, name, params, matrix, display, adjoint", BUILTINS, ids=BUILTIN_IDS)
def test_builtin_adjoints(h, name, params, matrix, display, adjoint):
    g = Gate.from_name(display)
    a = g.adjoint()
    assert str(a) == adjoint and a == Gate.from_name(adjoint)
    n = matrix.shape[0]
    assert np.allclose(matrix @ a.matrix, np.eye(n), atol=1e-15)
    assert np.allclose(a.matrix, matrix.conj().T, atol=1e-15)
    assert a.adjoint() == g


def test_probe_registry_starts_with_the_same_table():
    for h, _, _, matrix, display, _ in BUILTINS:
        assert probe.gate_from_name(display) == h
        assert np.array_equal(np.array(probe.gate_rows(h)), matrix)
        assert probe.gate_nqargs(h) == int(math.log2(matrix.shape[0]))


@pytest.mark.parametrize("name", ["rz", "H", "rz(pi/3", "rz( pi/3)", "rz(pi/3) ", "", "ii", "cx()"])
def test_from_name_is_exact(name):
    assert Gate.from_name(name) is None


def test_named_handles():
    assert probe.named_gates() == {"h": 1, "x": 2, "z": 3, "s": 5, "sdg": 6, "t": 7, "tdg": 8, "cx": 9, "swap": 14}


# ---- registration and deduplication --------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "name, params, matrix, expected",
    [
        ("hadamard", [], H_NP, 1),
        ("p", ["pi/4"], T_NP, 7),
        ("noisy_h", [], H_NP + 1e-12, 1),  # below the 2^-24 grid
        ("cnot", [], controlled(X_NP), 9),
        ("one", [], [[1, 0], [0, 1 + 0j]], 0),  # a nested list with a complex entry becomes complex128
        ("strided", [], np.kron(H_NP, np.ones((2, 2)))[::2, ::2], 1),  # a non-contiguous view
        ("fortran", [], np.asfortranarray(SWAP_NP), 14),
        ("transposed", [], np.ascontiguousarray(controlled(X_NP)).T, 9),
    ],
)
def test_registration_deduplicates_by_matrix(name, params, matrix, expected):
    g = Gate(name, params, matrix)
    assert handle(g) == expected
    builtin = BUILTINS[expected]
    assert (g.name, g.params) == (builtin[1], builtin[2])  # the first registration's name and parameters stay


def test_distinct_matrix_gets_the_next_handle():
    first = fresh_handle()
    m = H_NP.copy()
    m[0, 0] += 1e-3
    g = Gate("bent_h", ["theta"], m)
    assert handle(g) == first + 1
    assert (g.name, g.params, str(g)) == ("bent_h", ["theta"], "bent_h(theta)")
    assert np.array_equal(g.matrix, m)
    assert Gate.from_name("bent_h(theta)") == g  # lookups cover user gates too
    assert handle(Gate("other_name", [], m)) == first + 1


def test_matrix_is_a_fresh_array_each_time():
    g = Gate.from_name("h")
    m = g.matrix
    m[0, 0] = 5
    assert g.matrix[0, 0] == R and g.matrix is not g.matrix


@pytest.mark.parametrize(
    "shape, message",
    [
        ((3, 3), "Matrix must have a number of rows that is a power of two"),
        ((0, 0), "Matrix must have a number of rows that is a power of two"),
        ((3, 4), "Matrix must have a number of rows that is a power of two"),
        ((2, 4), "Matrix must be squared"),
        ((4, 2), "Matrix must be squared"),
        ((2, 0), "Matrix must be squared"),
    ],
)
def test_shape_failures_leave_the_registry_untouched(shape, message):
    before = fresh_handle()
    with pytest.raises(PanicException) as info:
        Gate("bad", [], np.ones(shape, dtype=np.complex128))
    assert str(info.value) == message
    assert fresh_handle() == before + 1


def test_one_by_one_matrix_has_no_qubit_arguments():
    g = Gate("phase", [], np.array([[0.6 + 0.8j]]))
    assert g.nqargs == 0 and g.matrix.shape == (1, 1)


def test_three_qubit_gate():
    toffoli = np.eye(8, dtype=np.complex128)[[0, 1, 2, 3, 4, 5, 7, 6]]
    g = Gate("ccx", [], toffoli)
    assert g.nqargs == 3 and np.array_equal(g.matrix, toffoli)
    assert g.adjoint() == g


@pytest.mark.parametrize(
    "matrix",
    [
        [[1, 0], [0, 1]],  # integers only
        [[1.0, 0.0], [0.0, 1.0]],
        np.eye(2),  # real-valued array
        np.eye(2, dtype=np.complex64),
        [[1j, 0], [1]],  # ragged
        np.zeros((2, 2, 2), dtype=np.complex128),
        np.zeros(4, dtype=np.complex128),
        "ab",
        None,
    ],
    ids=["int-list", "float-list", "float-array", "complex64", "ragged", "3d", "1d", "str", "none"],
)
def test_matrix_type_errors_name_the_argument(matrix):
    with pytest.raises(TypeError, match="matrix"):
        Gate("bad", [], matrix)


@pytest.mark.parametrize("name, params", [(1, []), ("g", "ab"), ("g", [1]), ("g", None)])
def test_name_and_params_type_errors(name, params):
    with pytest.raises(TypeError):
        Gate(name, params, H_NP)


# ---- adjoints of user gates ----------------------------------------------------------------------------------------


def test_user_gate_adjoint_is_a_new_daggered_gate():
    m = fresh_matrix()
    u = Gate("u", ["a", "b"], m)
    before = handle(u)
    a = u.adjoint()
    assert handle(a) == before + 1
    assert (a.name, a.params, str(a)) == ("u\u2020", ["a", "b"], "u\u2020(a, b)")
    assert a.name.encode() == b"u\xe2\x80\xa0"
    assert np.array_equal(a.matrix, m.conj().T)
    assert np.all(np.signbit(a.matrix.imag))  # conjugating an imaginary 0 gives -0
    assert np.allclose(m @ a.matrix, np.eye(2))
    assert a.adjoint() == u and a.adjoint().name == "u"
    assert u.adjoint() == a  # the link is kept


def test_hermitian_user_gate_is_its_own_adjoint():
    m = np.array([[0.6, 0.8], [0.8, -0.6]], dtype=np.complex128)
    g = Gate("reflect", [], m)
    assert g.adjoint() == g


# ---- parameters and display ----------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "params, expected",
    [([], []), (["pi/3"], [PI / 3]), (["-pi/16", "2*pi", "0.5"], [-(PI / 16), 2 * PI, 0.5]), (["007"], [0.0])],
)
def test_params_f(params, expected):
    g = Gate("pf", params, fresh_matrix())
    assert g.params_f == expected


def test_params_f_of_builtin():
    assert Gate.from_name("rz(pi/3)").params_f == [probe.param_evaluate_with_pi("pi/3")] == [PI / 3]
    assert Gate.from_name("h").params_f == []


@pytest.mark.parametrize(
    "params, message",
    [(["x"], "x"), (["1/0"], "DivisionByZero"), (["pi", "y", "1/0"], "y"), (["1/0", "y"], "DivisionByZero")],
)
def test_params_f_errors(params, message):
    g = Gate("pe", params, fresh_matrix())
    with pytest.raises(ValueError) as info:
        g.params_f
    assert str(info.value) == message


def test_params_f_parse_error_carries_the_report():
    g = Gate("pp", ["+1"], fresh_matrix())
    with pytest.raises(ValueError) as info:
        g.params_f
    assert str(info.value) == probe.param_evaluate_with_pi("+1")[1]
    assert str(info.value).splitlines()[-1].strip().startswith("= expected")


def test_display_and_debug_forms():
    assert str(Gate("u2", ["a", "b"], fresh_matrix())) == "u2(a, b)"
    assert probe.gate_debug(17) == "Gate(17 -> rz(pi/3))"
    assert probe.gate_debug(1) == "Gate(1 -> h)"
    assert probe.gate_str(16) == "tdg1/2"


# ---- Python conventions --------------------------------------------------------------------------------------------


@pytest.mark.parametrize("display", ["i", "h", "cx", "rz(-pi/16)"])
def test_hash_is_siphash_of_the_handle(display):
    g = Gate.from_name(display)
    assert hash(g) == python_hash_of_bytes([struct.pack("<H", handle(g))])[0]


def test_equality_and_conventions():
    h1, h2, x = Gate.from_name("h"), Gate("hh", [], H_NP), Gate.from_name("x")
    assert h1 == h2 and not (h1 != h2) and h1 != x
    assert hash(h1) == hash(h2) and len({h1, h2, x}) == 2
    assert (h1 == 1) is False and (h1 != "h") is True
    with pytest.raises(TypeError):
        h1 < x
    with pytest.raises(TypeError):
        type("Sub", (Gate,), {})
    assert Gate.__module__ == "builtins"
    assert repr(h1).startswith("<")  # no repr of its own


@pytest.mark.parametrize(
    "member, signature, doc",
    [
        ("from_name", "(name)", "Looks up a built-in gate by display name."),
        ("adjoint", "($self)", "Returns the adjoint (inverse) gate."),
    ],
)
def test_method_docstrings(member, signature, doc):
    f = getattr(Gate, member)
    assert (f.__text_signature__, f.__doc__) == (signature, doc)


@pytest.mark.parametrize(
    "attr, doc",
    [
        ("name", "Gate name."),
        ("params", "Symbolic parameter list."),
        ("params_f", "Numeric parameters evaluated with support for `pi` expressions."),
        ("matrix", "Dense unitary matrix."),
        ("nqargs", "Number of qubit arguments required by this gate."),
    ],
)
def test_read_only_attributes(attr, doc):
    assert Gate.__dict__[attr].__doc__ == doc
    with pytest.raises(AttributeError):
        setattr(Gate.from_name("h"), attr, None)


def test_class_docstring():
    assert Gate.__text_signature__ == "(name, params, matrix)"
    assert Gate.__doc__ == "Parameterized quantum gate definition used by both search and Python APIs."


# ---- concurrency ---------------------------------------------------------------------------------------------------


def test_concurrent_registration_gives_one_handle():
    m = fresh_matrix().tolist()
    before = probe.gate_count()
    handles = probe.gate_register_concurrently(64, "conc", m)
    assert len(set(handles)) == 1 and handles[0] == before
    assert probe.gate_count() == before + 1
    assert probe.gate_str(handles[0]) in {f"conc#{i}" for i in range(64)}
    # Another round with the registered matrix adds nothing.
    assert set(probe.gate_register_concurrently(16, "again", m)) == {before}
    assert probe.gate_count() == before + 1


def test_concurrent_adjoint_gives_one_handle():
    h = probe.gate_new("cadj", ["k"], fresh_matrix().tolist())
    assert probe.gate_adjoint_link(h) is None
    before = probe.gate_count()
    adjoints = probe.gate_adjoint_concurrently(h, 64)
    assert set(adjoints) == {before} and probe.gate_count() == before + 1
    assert probe.gate_adjoint_link(h) == before
    assert probe.gate_str(before) == "cadj\u2020(k)"
    # Only the asked record got its link; the other side resolves back through deduplication when asked.
    assert probe.gate_adjoint_link(before) is None
    assert probe.gate_adjoint(before) == h and probe.gate_adjoint_link(before) == h
    assert probe.gate_count() == before + 1


def test_gate_hash_tolerance():
    base = H_NP.tolist()
    assert probe.gate_hash(base) == probe.gate_hash((H_NP + 2.0**-27).tolist())
    assert probe.gate_hash(base) != probe.gate_hash((H_NP + 2.0**-22).tolist())


def test_full_registry_refuses_instead_of_wrapping_handles():
    # In a process of its own: the probe's registry stays full afterwards.
    code = (
        "from tandrel import _probe as p\n"
        "print(p.gate_fill_registry())\n"
        "print(p.gate_str(65535), p.gate_from_name('h'), p.gate_str(1))\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.splitlines() == [
        "(65536, 'Gate registry is full: at most 65536 gates can be registered')",
        "fill 1 h",
    ]
