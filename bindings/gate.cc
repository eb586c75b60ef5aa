// Python class Gate: a handle into the gate registry, with NumPy complex128 matrices in and out.
#include "circuit/gate.h"

#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <complex>
#include <memory>

#include "circuit/param_expr.h"
#include "classes.h"
#include "conventions.h"

namespace tandrel::py {

namespace {
using PyGate = Obj<Gate16>;
nb::class_<PyGate>* cls = nullptr;

using ComplexArray = nb::ndarray<const std::complex<double>, nb::ndim<2>, nb::device::cpu>;
using MatrixArray = nb::ndarray<nb::numpy, std::complex<double>, nb::ndim<2>, nb::f_contig>;

constexpr const char* MATRIX_TYPE_ERROR = "Gate(): argument 'matrix' must be a two-dimensional complex128 array";

/// The matrix of a 2-D complex128 array (element [r][c] becomes row r, column c), or nothing for any other object.
std::optional<DenseMatrix> read_matrix(nb::handle obj) {
    ComplexArray array;
    if (!nb::try_cast<ComplexArray>(obj, array, /*convert=*/false)) return std::nullopt;
    const auto view = array.view();
    DenseMatrix m = DenseMatrix::zeros(array.shape(0), array.shape(1));
    for (size_t r = 0; r < m.nrows; ++r)
        for (size_t c = 0; c < m.ncols; ++c) m(r, c) = Qcomplex{view(r, c).real(), view(r, c).imag()};
    return m;
}

/// A complex128 array used as it is; any other object goes through numpy.asarray without a dtype, whose result
/// must again be one (so lists holding a complex number pass, real-valued ones do not).
DenseMatrix matrix_argument(nb::handle obj) {
    if (auto m = read_matrix(obj)) return std::move(*m);
    nb::object array;
    try {
        array = nb::module_::import_("numpy").attr("asarray")(obj);
    } catch (nb::python_error& e) {
        nb::raise_from(e, PyExc_TypeError, "%s", MATRIX_TYPE_ERROR);
    }
    if (auto m = read_matrix(array)) return std::move(*m);
    throw nb::type_error(MATRIX_TYPE_ERROR);
}

/// A new F-contiguous complex128 array of the matrix: element [r][c] is row r, column c.
MatrixArray matrix_array(const DenseMatrix& m) {
    auto data = std::make_unique<std::complex<double>[]>(m.entries.size());
    for (size_t i = 0; i < m.entries.size(); ++i) data[i] = {m.entries[i].re.v, m.entries[i].im.v};
    std::complex<double>* raw = data.get();
    nb::capsule owner(data.release(), [](void* p) noexcept { delete[] static_cast<std::complex<double>*>(p); });
    const size_t shape[2] = {m.nrows, m.ncols};
    const int64_t strides[2] = {1, static_cast<int64_t>(m.nrows)};
    return MatrixArray(raw, 2, shape, owner, strides);
}

std::vector<double> params_f(Gate16 g) {
    std::vector<double> out;
    for (const std::string& p : g.data().params) {
        NumericResult r = evaluate_with_pi(p);
        if (auto* err = std::get_if<NumericError>(&r)) throw nb::value_error(err->str().c_str());
        out.push_back(std::get<double>(r));
    }
    return out;
}

Py_hash_t gate_python_hash(Gate16 g) {
    SipHasher13 h;
    g.hash_into(h);
    return reduce_hash(h.finish());
}
}  // namespace

void declare_gate(nb::module_& m) {
    cls = new nb::class_<PyGate>(
        m, "Gate",
        "Gate(name, params, matrix)\n--\n\nParameterized quantum gate definition used by both search and Python APIs.");
}

void define_gate() {
    auto& c = *cls;
    c.def(
        "__init__",
        [](PyGate* self, const std::string& name, const std::vector<std::string>& params, nb::handle matrix) {
            DenseMatrix m = matrix_argument(matrix);
            new (self) PyGate(Gate16::make(name, params, std::move(m)));
        },
        nb::arg("name"), nb::arg("params"), nb::arg("matrix"));
    c.def_prop_ro("name", [](const PyGate& g) { return Read(g)->name(); }, "Gate name.");
    c.def_prop_ro("params", [](const PyGate& g) { return Read(g)->params(); }, "Symbolic parameter list.");
    c.def_prop_ro(
        "params_f", [](const PyGate& g) { return params_f(*Read(g)); },
        "Numeric parameters evaluated with support for `pi` expressions.");
    c.def_prop_ro(
        "matrix", [](const PyGate& g) { return Read(g)->matrix([](const DenseMatrix& m) { return matrix_array(m); }); },
        nb::rv_policy::automatic, "Dense unitary matrix.");
    c.def_prop_ro(
        "nqargs", [](const PyGate& g) { return Read(g)->nqargs(); },
        "Number of qubit arguments required by this gate.");
    c.def_static(
        "from_name",
        [](const std::string& name) -> std::optional<PyGate> {
            if (auto g = Gate16::from_name(name)) return PyGate(*g);
            return std::nullopt;
        },
        nb::arg("name"), "Looks up a built-in gate by display name.");
    c.def("adjoint", [](const PyGate& g) { return PyGate(Read(g)->adjoint()); }, "Returns the adjoint (inverse) gate.");
    def_equality<Gate16>(c);
    c.def("__hash__", [](const PyGate& g) { return gate_python_hash(*Read(g)); });
    def_str<Gate16>(c);
    finish_class(c, {.equality = true, .hashable = true});
}

}  // namespace tandrel::py
