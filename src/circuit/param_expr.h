// Gate parameter expressions: a small arithmetic grammar over floats, `pi` and six functions, parsed by
// ordered choice from the start of the text (a tail that does not continue the expression is ignored) and
// evaluated left-associatively in IEEE double precision.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tandrel {

/// The grammar's rules, in the order of their numeric codes 0 to 10. Parse errors name rules by `rule_name`.
enum class Rule : uint8_t { real, id, nninteger, exp, term, factor, plus, mul, power, unary_op, WHITESPACE };

/// The rule's name as written in the grammar ("real", "unary_op", "WHITESPACE", ...).
std::string_view rule_name(Rule rule);

/// One node of a parse tree: the rule, the text it matched and its child nodes in input order. Punctuation and
/// whitespace make no nodes; `plus`, `mul` and `unary_op` nodes carry the operator or function name.
struct ExprNode {
    Rule rule;
    std::string text;
    std::vector<ExprNode> children;
};

/// Why an expression has no value.
struct NumericError {
    enum class Kind : uint8_t {
        /// The text does not start with an expression; `text` is the parser's report.
        ParseError,
        /// A division by 0 or -0.
        DivisionByZero,
        /// An operator or function the evaluator does not know; `text` is its name.
        InvalidArgument,
        /// An identifier without a value; `text` is the identifier.
        UndefinedVariable,
    };
    Kind kind;
    std::string text;

    /// The variant's name ("ParseError", "DivisionByZero", ...).
    std::string_view kind_name() const;
    /// The message: the text alone, or "DivisionByZero".
    std::string str() const;

    friend bool operator==(const NumericError&, const NumericError&) = default;
};

/// A value, or the error that ended its evaluation.
using NumericResult = std::variant<double, NumericError>;

/// Identifier values of an evaluation.
using Variables = std::map<std::string, double, std::less<>>;

/// A parse tree rooted at an `exp` node, or the error report of a text that does not start with an expression.
using ParseResult = std::variant<ExprNode, NumericError>;

/// The hand-written parser of the grammar. Stateless; every call parses one text.
struct ExprParser {
    /// Deepest nesting of parenthesised, function and negated sub-expressions a text may have.
    static constexpr size_t MAX_DEPTH = 256;

    /// Parses the longest prefix of `text` that rule `exp` matches. Fails with a `ParseError` report (location
    /// line, the input line underlined at the failing position, "= expected ...") when no prefix matches.
    static ParseResult parse_exp(std::string_view text);
};

/// Parses `text` from rule `exp` and evaluates it with the given identifier values.
NumericResult evaluate(std::string_view text, const Variables& variables);

/// `evaluate` with the single variable pi = 3.141592653589793.
NumericResult evaluate_with_pi(std::string_view text);

/// Value of the children of an `exp` node: terms combined left to right by their `plus` operators.
NumericResult eval_expr(const std::vector<ExprNode>& children, const Variables& variables);
/// Value of the children of a `term` node: factors combined left to right by their `mul` operators.
NumericResult eval_term(const std::vector<ExprNode>& children, const Variables& variables);
/// Value of the children of a `factor` node: powers raised left to right (2^3^2 is 64).
NumericResult eval_factor(const std::vector<ExprNode>& children, const Variables& variables);
/// Value of the children of a `power` node: a number, a variable, a function call, a parenthesised or a negated
/// sub-expression.
NumericResult eval_power(const std::vector<ExprNode>& children, const Variables& variables);

/// The arithmetic and function table: "+", "-", "*", "/", "^" combine `a` and `b`; "sin", "cos", "tan", "exp",
/// "ln", "sqrt" apply to `a` alone. Division by 0 or -0 gives `DivisionByZero`, an unknown name `InvalidArgument`.
NumericResult caculate(std::string_view op, double a, double b);

}  // namespace tandrel
