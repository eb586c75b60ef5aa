// Probe functions of the circuit model: parameter expressions, the gate registry and compact instructions.
#include <nanobind/stl/map.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "circuit/param_expr.h"
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

}  // namespace

void probe_circuit(nb::module_& m) { probe_param_expr(m); }

}  // namespace tandrel::probe
