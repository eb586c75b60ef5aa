// Probe functions of the circuit model: parameter expressions, the gate registry and compact instructions.
#include <nanobind/stl/complex.h>
#include <nanobind/stl/map.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <algorithm>
#include <bit>
#include <complex>

#include "circuit/gate.h"
#include "circuit/instr.h"
#include "circuit/param_expr.h"
#include "conventions.h"
#include "core/parallel.h"
#include "probe/probe.h"

namespace nb = nanobind;

namespace tandrel::probe {

namespace {

/// A float, or the error as (variant name, display text).
nb::object numeric(const NumericResult& r) {
    if (auto* err = std::get_if<NumericError>(&r)) return nb::make_tuple(std::string(err->kind_name()), err->str());
    return nb::float_(std::get<double>(r));
}

/// A parse tree as nested (rule name, text, children) tuples.
nb::object tree(const ExprNode& node) {
    nb::list children;
    for (const ExprNode& c : node.children) children.append(tree(c));
    return nb::make_tuple(std::string(rule_name(node.rule)), node.text, children);
}

void probe_param_expr(nb::module_& m) {
    m.def("param_rules", [] {
        std::vector<std::string> names;
        for (int r = 0; r <= static_cast<int>(Rule::WHITESPACE); ++r) names.emplace_back(rule_name(Rule(r)));
        return names;
    });
    m.def("param_evaluate", [](const std::string& text, const std::map<std::string, double>& variables) {
        return numeric(evaluate(text, Variables(variables.begin(), variables.end())));
    });
    m.def("param_evaluate_with_pi", [](const std::string& text) { return numeric(evaluate_with_pi(text)); });
    m.def("param_caculate", [](const std::string& op, double a, double b) { return numeric(caculate(op, a, b)); });
    m.def("param_parse", [](const std::string& text) -> nb::object {
        ParseResult r = ExprParser::parse_exp(text);
        if (auto* err = std::get_if<NumericError>(&r)) return nb::make_tuple(std::string(err->kind_name()), err->str());
        return tree(std::get<ExprNode>(r));
    });
    m.def("param_max_depth", [] { return ExprParser::MAX_DEPTH; });
}

using Rows = std::vector<std::vector<std::complex<double>>>;

/// A matrix from its rows; every row must have the length of the first.
DenseMatrix from_rows(const Rows& rows) {
    const size_t ncols = rows.empty() ? 0 : rows[0].size();
    DenseMatrix m = DenseMatrix::zeros(rows.size(), ncols);
    for (size_t r = 0; r < rows.size(); ++r) {
        check_eq(rows[r].size(), ncols, "rows have equal lengths");
        for (size_t c = 0; c < ncols; ++c) m(r, c) = Qcomplex{rows[r][c].real(), rows[r][c].imag()};
    }
    return m;
}

Rows to_rows(const DenseMatrix& m) {
    Rows rows(m.nrows, std::vector<std::complex<double>>(m.ncols));
    for (size_t r = 0; r < m.nrows; ++r)
        for (size_t c = 0; c < m.ncols; ++c) rows[r][c] = {m(r, c).re.v, m(r, c).im.v};
    return rows;
}

Gate16 gate(uint16_t handle) {
    check_index(handle, Gate16::count());
    return Gate16{handle};
}

void probe_gate(nb::module_& m) {
    m.def("gate_count", [] { return Gate16::count(); });
    m.def("gate_handle", [](const py::Obj<Gate16>& g) { return g.value.raw; });
    m.def("gate_new", [](const std::string& name, const std::vector<std::string>& params, const Rows& rows) {
        return Gate16::make(name, params, from_rows(rows)).raw;
    });
    m.def("gate_from_name", [](const std::string& name) -> std::optional<uint16_t> {
        if (auto g = Gate16::from_name(name)) return g->raw;
        return std::nullopt;
    });
    m.def("gate_str", [](uint16_t h) { return gate(h).str(); });
    m.def("gate_debug", [](uint16_t h) { return gate(h).debug(); });
    m.def("gate_nqargs", [](uint16_t h) { return gate(h).nqargs(); });
    m.def("gate_rows", [](uint16_t h) { return gate(h).matrix([](const DenseMatrix& mat) { return to_rows(mat); }); });
    m.def("gate_adjoint", [](uint16_t h) { return gate(h).adjoint().raw; });
    m.def("gate_adjoint_link", [](uint16_t h) -> std::optional<uint16_t> {
        if (auto a = gate(h).data().adjoint.load()) return a->raw;
        return std::nullopt;
    });
    m.def("gate_hash", [](const Rows& rows) { return gate_hash(from_rows(rows)); });
    m.def("named_gates", [] {
        nb::dict out;
        const NamedGate* all[] = {&H, &X, &Z, &S, &SDG, &T, &TDG, &CX, &SWAP};
        for (const NamedGate* g : all) out[g->name()] = g->get().raw;
        return out;
    });
    // Registers the same matrix from `tasks` pool tasks at once; each task also reads the registry while others
    // append to it, and the task's handle is returned in task order.
    m.def("gate_register_concurrently", [](size_t tasks, const std::string& name, const Rows& rows) {
        const DenseMatrix matrix = from_rows(rows);
        return parallel_map(tasks, [&](size_t i) {
            const Gate16 g = Gate16::make(name + "#" + std::to_string(i), {}, matrix);
            check_eq(g.nqargs(), unsigned(std::countr_zero(matrix.nrows)), "nqargs of the registered gate");
            return g.raw;
        });
    });
    // Registers distinct gates until the registry refuses one; returns the number of gates then registered and
    // the failure message. Fills this module's registry for good: only for a process of its own.
    m.def("gate_fill_registry", [] {
        for (size_t k = 2;; ++k) {
            DenseMatrix mat = DenseMatrix::zeros(2, 2);
            mat(0, 0) = Qcomplex{double(k), 0.0};
            mat(1, 1) = Qcomplex{1.0, 0.0};
            try {
                Gate16::make("fill", {}, std::move(mat));
            } catch (const Panic& e) {
                return nb::make_tuple(Gate16::count(), std::string(e.what()));
            }
        }
    });
    // Asks for the adjoint of one gate from `tasks` pool tasks at once.
    m.def("gate_adjoint_concurrently", [](uint16_t h, size_t tasks) {
        const Gate16 g = gate(h);
        return parallel_map(tasks, [&](size_t) { return g.adjoint().raw; });
    });
}

using PyInstr = py::Obj<Instr32>;

/// The instruction of an `Instr` object (its gate handle refers to the module's registry, so only built-in gates
/// mean the same here).
Instr32 instr(const PyInstr& i) { return i.value; }

void probe_instr(nb::module_& m) {
    m.def("qargs_from_iter", [](const std::vector<uint8_t>& values) {
        const QArgs16 q = QArgs16::from_iter(values);
        return nb::make_tuple(nb::bytes(q.raw.data(), 2), q.len());
    });
    // The qargs built from the raw byte pair, without any check.
    m.def("qargs_contains", [](uint8_t a, uint8_t b, uint8_t q) { return QArgs16{{a, b}}.contains(q); });
    m.def("qargs_get", [](uint8_t a, uint8_t b, size_t i) { return QArgs16{{a, b}}[i]; });
    m.def("qargs_len", [](uint8_t a, uint8_t b) { return QArgs16{{a, b}}.len(); });
    m.def("qargs_cmp", [](uint8_t a0, uint8_t a1, uint8_t b0, uint8_t b1) {
        const auto c = QArgs16{{a0, a1}} <=> QArgs16{{b0, b1}};
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    });
    m.def("instr_layout", [](const PyInstr& i) {
        const Instr32 v = instr(i);
        return nb::bytes(reinterpret_cast<const char*>(&v), sizeof v);
    });
    m.def("instr_cmp", [](const PyInstr& a, const PyInstr& b) {
        const auto c = instr(a) <=> instr(b);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    });
    m.def("instr_eq", [](const PyInstr& a, const PyInstr& b) { return instr(a) == instr(b); });
    m.def("instr_sorted", [](const std::vector<const PyInstr*>& items) {
        std::vector<Instr32> v;
        for (const PyInstr* i : items) v.push_back(instr(*i));
        std::sort(v.begin(), v.end());
        std::vector<PyInstr> out;
        for (Instr32 i : v) out.emplace_back(i);
        return out;
    });
    m.def("instr_hash", [](const PyInstr& i) { return instr(i).hash_value(); });
    // Builds an instruction of a built-in gate from raw handle and qubits, as the core does.
    m.def("instr_make", [](uint16_t handle, const std::vector<uint8_t>& qargs) {
        return PyInstr(Instr32::make(gate(handle), qargs));
    });
}

}  // namespace

void probe_circuit(nb::module_& m) {
    probe_param_expr(m);
    probe_gate(m);
    probe_instr(m);
}

}  // namespace tandrel::probe
