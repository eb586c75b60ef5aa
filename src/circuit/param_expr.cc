#include "circuit/param_expr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/panic.h"

namespace tandrel {

std::string_view rule_name(Rule rule) {
    static constexpr std::string_view NAMES[] = {"real",   "id",  "nninteger", "exp",      "term",      "factor",
                                                 "plus",   "mul", "power",     "unary_op", "WHITESPACE"};
    return NAMES[static_cast<size_t>(rule)];
}

std::string_view NumericError::kind_name() const {
    switch (kind) {
        case Kind::ParseError: return "ParseError";
        case Kind::DivisionByZero: return "DivisionByZero";
        case Kind::InvalidArgument: return "InvalidArgument";
        case Kind::UndefinedVariable: return "UndefinedVariable";
    }
    return "";
}

std::string NumericError::str() const { return kind == Kind::DivisionByZero ? "DivisionByZero" : text; }

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_id_char(char c) { return is_digit(c) || is_lower(c) || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

/// Number of code points in UTF-8 text (continuation bytes do not count).
size_t code_points(std::string_view s) {
    return size_t(std::count_if(s.begin(), s.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

/// Recursive descent over the grammar with ordered choice. Every rule function either matches at `p`, appending
/// its node to `out` and advancing `p`, or fails leaving both as they were. Failed token rules are remembered at
/// the farthest position any of them failed: that is where the error report points.
class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    ParseResult parse() {
        std::vector<ExprNode> top;
        size_t p = 0;
        const bool ok = exp(p, top);
        if (too_deep_) return report(deep_pos_, "nested deeper than " + std::to_string(ExprParser::MAX_DEPTH) +
                                                     " levels");
        if (!ok) return report(far_, expected_text());
        return std::move(top.front());
    }

private:
    std::string_view s_;
    size_t far_ = 0;
    std::vector<Rule> expected_;
    size_t depth_ = 0;
    bool too_deep_ = false;
    size_t deep_pos_ = 0;

    char at(size_t p) const { return p < s_.size() ? s_[p] : '\0'; }

    void failed(Rule rule, size_t p) {
        if (p > far_) {
            far_ = p;
            expected_.clear();
        }
        if (p == far_ && std::find(expected_.begin(), expected_.end(), rule) == expected_.end())
            expected_.push_back(rule);
    }

    size_t skip_ws(size_t p) const {
        while (p < s_.size() && is_whitespace(s_[p])) ++p;
        return p;
    }

    bool literal(size_t& p, std::string_view lit) const {
        if (s_.substr(std::min(p, s_.size())).starts_with(lit)) {
            p += lit.size();
            return true;
        }
        return false;
    }

    /// Appends a token node for [start, end) and moves `p` to `end`.
    void token(Rule rule, size_t& p, size_t end, std::vector<ExprNode>& out) const {
        out.push_back(ExprNode{rule, std::string(s_.substr(p, end - p)), {}});
        p = end;
    }

    // ---- token rules (atomic) ----

    bool real(size_t& p, std::vector<ExprNode>& out) {
        size_t q = p;
        while (is_digit(at(q))) ++q;
        if (q == p || at(q) != '.') return failed(Rule::real, p), false;
        ++q;
        while (is_digit(at(q))) ++q;
        token(Rule::real, p, q, out);
        return true;
    }

    bool nninteger(size_t& p, std::vector<ExprNode>& out) {
        size_t q = p;
        if (at(q) == '0') {
            ++q;
        } else if (at(q) >= '1' && at(q) <= '9') {
            while (is_digit(at(q))) ++q;
        } else {
            return failed(Rule::nninteger, p), false;
        }
        token(Rule::nninteger, p, q, out);
        return true;
    }

    bool id(size_t& p, std::vector<ExprNode>& out) {
        if (!is_lower(at(p))) return failed(Rule::id, p), false;
        size_t q = p + 1;
        while (is_id_char(at(q))) ++q;
        token(Rule::id, p, q, out);
        return true;
    }

    bool unary_op(size_t& p, std::vector<ExprNode>& out) {
        for (std::string_view name : {"sin", "cos", "tan", "exp", "ln", "sqrt"}) {
            size_t q = p;
            if (literal(q, name)) {
                token(Rule::unary_op, p, q, out);
                return true;
            }
        }
        return failed(Rule::unary_op, p), false;
    }

    bool one_of(Rule rule, std::string_view chars, size_t& p, std::vector<ExprNode>& out) {
        if (p < s_.size() && chars.find(s_[p]) != std::string_view::npos) {
            token(rule, p, p + 1, out);
            return true;
        }
        return failed(rule, p), false;
    }

    // ---- structured rules ----

    /// `first`, then zero or more (`sep` `next`) with optional whitespace between all elements, as a `rule`
    /// node. `sep` appends its node (operators) or nothing (the "^" literal).
    template <class First, class Sep>
    bool chain(Rule rule, size_t& p, std::vector<ExprNode>& out, size_t start, First first, Sep sep) {
        ExprNode node{rule, {}, {}};
        size_t q = p;
        if (!first(q, node.children)) return false;
        for (;;) {
            const size_t kept = node.children.size();
            size_t r = skip_ws(q);
            if (sep(r, node.children)) {
                r = skip_ws(r);
                if (first(r, node.children)) {
                    q = r;
                    continue;
                }
            }
            node.children.resize(kept);
            break;
        }
        node.text = std::string(s_.substr(start, q - start));
        out.push_back(std::move(node));
        p = q;
        return true;
    }

    bool exp(size_t& p, std::vector<ExprNode>& out) {
        size_t q = skip_ws(p);
        if (!chain(
                Rule::exp, q, out, p, [&](size_t& x, auto& ch) { return term(x, ch); },
                [&](size_t& x, auto& ch) { return one_of(Rule::plus, "+-", x, ch); }))
            return false;
        p = q;
        return true;
    }

    bool term(size_t& p, std::vector<ExprNode>& out) {
        return chain(
            Rule::term, p, out, p, [&](size_t& x, auto& ch) { return factor(x, ch); },
            [&](size_t& x, auto& ch) { return one_of(Rule::mul, "*/", x, ch); });
    }

    bool factor(size_t& p, std::vector<ExprNode>& out) {
        return chain(
            Rule::factor, p, out, p, [&](size_t& x, auto& ch) { return power(x, ch); },
            [&](size_t& x, auto&) { return literal(x, "^"); });
    }

    /// "(" exp ")" at `p`, appending the exp node.
    bool parenthesised(size_t& p, std::vector<ExprNode>& out) {
        size_t q = p;
        if (!literal(q, "(")) return false;
        q = skip_ws(q);
        const size_t kept = out.size();
        if (!exp(q, out)) return false;
        q = skip_ws(q);
        if (!literal(q, ")")) {
            out.resize(kept);
            return false;
        }
        p = q;
        return true;
    }

    bool power(size_t& p, std::vector<ExprNode>& out) {
        if (too_deep_) return false;
        if (depth_ == ExprParser::MAX_DEPTH) {
            // Stop the whole parse: a shallower alternative must not silently take the place of this one.
            too_deep_ = true;
            deep_pos_ = p;
            return false;
        }
        ++depth_;
        ExprNode node{Rule::power, {}, {}};
        size_t q = p;
        bool ok = real(q, node.children) || nninteger(q, node.children) || parenthesised(q, node.children);
        if (!ok && !too_deep_ && unary_op(q, node.children)) {
            size_t r = skip_ws(q);
            ok = parenthesised(r, node.children);
            if (ok) {
                q = r;
            } else {
                node.children.clear();
                q = p;
            }
        }
        if (!ok && !too_deep_ && literal(q, "-")) {
            size_t r = skip_ws(q);
            ok = power(r, node.children);
            q = ok ? r : p;
        }
        if (!ok && !too_deep_) ok = id(q, node.children);
        --depth_;
        if (!ok || too_deep_) return false;
        node.text = std::string(s_.substr(p, q - p));
        out.push_back(std::move(node));
        p = q;
        return true;
    }

    // ---- error report ----

    std::string expected_text() const {
        std::string out = "expected ";
        for (size_t i = 0; i < expected_.size(); ++i) {
            if (i > 0) out += expected_.size() == 2 ? " or " : (i + 1 == expected_.size() ? ", or " : ", ");
            out += rule_name(expected_[i]);
        }
        return out;
    }

    /// "--> line:column", the input line with "^" under the position, and "= " with the explanation; the gutter
    /// is as wide as the line number.
    NumericError report(size_t pos, const std::string& explanation) const {
        const std::string_view before = s_.substr(0, pos);
        const size_t line_no = size_t(std::count(before.begin(), before.end(), '\n')) + 1;
        const size_t line_start = before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
        size_t line_end = s_.find('\n', pos);
        if (line_end == std::string_view::npos) line_end = s_.size();
        std::string_view line = s_.substr(line_start, line_end - line_start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string_view lead = s_.substr(line_start, pos - line_start);

        const std::string number = std::to_string(line_no);
        const std::string pad(number.size(), ' ');
        std::string out = pad + "--> " + number + ":" + std::to_string(code_points(lead) + 1) + "\n";
        out += number + " | " + std::string(line) + "\n";
        out += pad + " | ";
        // Keep tabs so that the caret lines up under the same column on the terminal.
        for (char c : lead)
            if ((uint8_t(c) & 0xC0) != 0x80) out += c == '\t' ? '\t' : ' ';
        out += "^\n";
        out += pad + " = " + explanation;
        return NumericError{NumericError::Kind::ParseError, std::move(out)};
    }
};

/// The decimal value of a `real` or `nninteger` token (digits with at most one point, no sign or exponent).
double decimal_value(std::string_view text) {
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Too many digits for a double: overflow when the integer part is not zero, underflow otherwise.
        const std::string_view whole = text.substr(0, text.find('.'));
        const bool large = whole.find_first_not_of('0') != std::string_view::npos;
        return large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    check(ec == std::errc() && ptr == text.data() + text.size(), "decimal token parses completely");
    return v;
}

const NumericError* error_of(const NumericResult& r) { return std::get_if<NumericError>(&r); }

/// Evaluates a node list of the form `operand (op operand)*`, combining left to right.
template <class Operand>
NumericResult fold_left(const std::vector<ExprNode>& children, const Variables& variables, Operand operand) {
    check(!children.empty(), "!children.empty()");
    NumericResult acc = operand(children[0], variables);
    for (size_t i = 1; i + 1 < children.size() && !error_of(acc); i += 2) {
        NumericResult rhs = operand(children[i + 1], variables);
        if (error_of(rhs)) return rhs;
        acc = caculate(children[i].text, std::get<double>(acc), std::get<double>(rhs));
    }
    return acc;
}

}  // namespace

ParseResult ExprParser::parse_exp(std::string_view text) { return Parser(text).parse(); }

NumericResult caculate(std::string_view op, double a, double b) {
    if (op == "+") return a + b;
    if (op == "-") return a - b;
    if (op == "*") return a * b;
    if (op == "/") {
        if (b == 0.0) return NumericError{NumericError::Kind::DivisionByZero, {}};
        return a / b;
    }
    if (op == "^") return std::pow(a, b);
    if (op == "ln") return std::log(a);
    if (op == "sin") return std::sin(a);
    if (op == "cos") return std::cos(a);
    if (op == "tan") return std::tan(a);
    if (op == "exp") return std::exp(a);
    if (op == "sqrt") return std::sqrt(a);
    return NumericError{NumericError::Kind::InvalidArgument, std::string(op)};
}

NumericResult eval_expr(const std::vector<ExprNode>& children, const Variables& variables) {
    return fold_left(children, variables,
                     [](const ExprNode& n, const Variables& v) { return eval_term(n.children, v); });
}

NumericResult eval_term(const std::vector<ExprNode>& children, const Variables& variables) {
    return fold_left(children, variables,
                     [](const ExprNode& n, const Variables& v) { return eval_factor(n.children, v); });
}

NumericResult eval_factor(const std::vector<ExprNode>& children, const Variables& variables) {
    check(!children.empty(), "!children.empty()");
    NumericResult acc = eval_power(children[0].children, variables);
    for (size_t i = 1; i < children.size() && !error_of(acc); ++i) {
        NumericResult exponent = eval_power(children[i].children, variables);
        if (error_of(exponent)) return exponent;
        acc = std::pow(std::get<double>(acc), std::get<double>(exponent));
    }
    return acc;
}

NumericResult eval_power(const std::vector<ExprNode>& children, const Variables& variables) {
    check(!children.empty(), "!children.empty()");
    const ExprNode& first = children[0];
    switch (first.rule) {
        case Rule::real:
        case Rule::nninteger: return decimal_value(first.text);
        case Rule::id: {
            auto it = variables.find(first.text);
            if (it == variables.end()) return NumericError{NumericError::Kind::UndefinedVariable, first.text};
            return it->second;
        }
        case Rule::unary_op: {
            check(children.size() == 2, "children.size() == 2");
            NumericResult arg = eval_expr(children[1].children, variables);
            if (error_of(arg)) return arg;
            return caculate(first.text, std::get<double>(arg), 0.0);
        }
        case Rule::exp: return eval_expr(first.children, variables);
        case Rule::power: {
            NumericResult inner = eval_power(first.children, variables);
            if (error_of(inner)) return inner;
            return -std::get<double>(inner);
        }
        default: panic("unexpected " + std::string(rule_name(first.rule)) + " node in a power");
    }
}

NumericResult evaluate(std::string_view text, const Variables& variables) {
    ParseResult parsed = ExprParser::parse_exp(text);
    if (auto* err = std::get_if<NumericError>(&parsed)) return std::move(*err);
    return eval_expr(std::get<ExprNode>(parsed).children, variables);
}

NumericResult evaluate_with_pi(std::string_view text) {
    static const Variables PI_ONLY{{"pi", 3.141592653589793}};
    return evaluate(text, PI_ONLY);
}

}  // namespace tandrel
