"""Parameter expressions: grammar, ordered choice with prefix matching, associativity, errors and reports."""

import math
import re

import pytest
from hypothesis import given, strategies as st

from tandrel import _probe as probe

PI = 3.141592653589793


def value(text, **variables):
    r = probe.param_evaluate(text, variables) if variables else probe.param_evaluate_with_pi(text)
    assert isinstance(r, float), r
    return r


def error(text):
    r = probe.param_evaluate_with_pi(text)
    assert isinstance(r, tuple), r
    return r


def same_float(a, b):
    return (math.isnan(a) and math.isnan(b)) or (a == b and math.copysign(1, a) == math.copysign(1, b))


def test_rule_codes_in_order():
    assert probe.param_rules() == [
        "real", "id", "nninteger", "exp", "term", "factor", "plus", "mul", "power", "unary_op", "WHITESPACE",
    ]


@pytest.mark.parametrize(
    "text, expected",
    [
        ("pi", PI),
        ("pi/3", PI / 3),
        ("-pi/16", -(PI / 16)),
        ("1-2-3", -4.0),
        ("8/2/2", 2.0),
        ("2^3^2", 64.0),
        ("-2^2", 4.0),
        ("2^-1", 0.5),
        ("--2", 2.0),
        ("1--2", 3.0),
        ("(1+2)*3", 9.0),
        ("sin(pi/2)", 1.0),
        ("cos(0)", 1.0),
        ("tan(0)", 0.0),
        ("exp(1)", math.exp(1)),
        ("ln(1)", 0.0),
        ("sqrt(16)", 4.0),
        ("sqrt (16)", 4.0),
        ("( 1 + 2 )", 3.0),
        ("2*3+4*5", 26.0),
        ("2+3*4^2", 50.0),
        ("0.25", 0.25),
        ("3.", 3.0),
        ("-0", -0.0),
        ("ln(0)", -math.inf),
        ("ln(0-1)", math.nan),
        ("sqrt(0-1)", math.nan),
        ("1/sqrt(0-1)", math.nan),  # a NaN divisor divides normally
        ("1" + "0" * 400, math.inf),
        ("0." + "0" * 400 + "1", 0.0),
    ],
)
def test_values(text, expected):
    assert same_float(value(text), expected)


@pytest.mark.parametrize(
    "text, expected",
    [
        ("007", 0.0),  # nninteger takes the lone 0, the rest is a tail
        ("012", 0.0),
        ("1.5.2", 1.5),
        ("pi/3)", PI / 3),
        ("2*pi foo", 2 * PI),
        ("2 ^", 2.0),
        ("1 +", 1.0),
        ("3 4", 3.0),
    ],
)
def test_trailing_text_is_ignored(text, expected):
    assert value(text) == expected


@pytest.mark.parametrize("text", ["2*pi", "2 * pi", " 2*pi", "2*pi   ", "\t2\n*\r\npi", "2.*pi", "2*pi and more"])
def test_spellings_of_two_pi(text):
    assert value(text) == 2 * PI


def test_variables_and_keywords_as_identifiers():
    assert value("x*3 + y_2", x=2.0, y_2=0.5) == 6.5
    assert value("sin + 1", sin=1.0) == 2.0  # without "(" a function name is an identifier
    assert value("sinx(5)", sinx=7.0) == 7.0
    assert value("xYz9", xYz9=4.0) == 4.0


@pytest.mark.parametrize(
    "text, kind, message",
    [
        ("1/0", "DivisionByZero", "DivisionByZero"),
        ("1/(1-1)", "DivisionByZero", "DivisionByZero"),
        ("0/0.0", "DivisionByZero", "DivisionByZero"),
        ("1/-0", "DivisionByZero", "DivisionByZero"),
        ("x+1", "UndefinedVariable", "x"),
        ("sin", "UndefinedVariable", "sin"),
        ("sinx(1)", "UndefinedVariable", "sinx"),
        ("1/0 + x", "DivisionByZero", "DivisionByZero"),  # the first failure ends the evaluation
        ("x + 1/0", "UndefinedVariable", "x"),
        ("2^x", "UndefinedVariable", "x"),
        ("sin(y)", "UndefinedVariable", "y"),
        ("-q", "UndefinedVariable", "q"),
    ],
)
def test_evaluation_errors(text, kind, message):
    assert error(text) == (kind, message)


def test_pi_is_only_defined_by_evaluate_with_pi():
    assert probe.param_evaluate("pi", {}) == ("UndefinedVariable", "pi")


@pytest.mark.parametrize("op", ["%", "atan", "", "plus"])
def test_unknown_operator(op):
    assert probe.param_caculate(op, 1.0, 2.0) == ("InvalidArgument", op)


@pytest.mark.parametrize(
    "op, a, b, expected",
    [("+", 1.5, 2.0, 3.5), ("-", 1.0, 3.0, -2.0), ("*", 3.0, -2.0, -6.0), ("/", 1.0, 4.0, 0.25),
     ("^", 2.0, 10.0, 1024.0), ("sqrt", 9.0, 123.0, 3.0), ("ln", 1.0, 5.0, 0.0)],
)
def test_caculate_table(op, a, b, expected):
    assert probe.param_caculate(op, a, b) == expected


# ---- parse errors -------------------------------------------------------------------------------------------------

REPORT = re.compile(r"^ *--> (\d+):(\d+)\n(\d+) \| (.*)\n *\| ([ \t]*)\^\n *= (.*)$")


def parse_report(text):
    kind, report = error(text)
    assert kind == "ParseError"
    m = REPORT.match(report)
    assert m, report
    line, column, echo_no, echoed, lead, explanation = m.groups()
    assert line == echo_no
    assert len(lead) + 1 == int(column)  # the caret sits under the reported column
    return int(line), int(column), echoed, explanation


def expected_names(explanation):
    assert explanation.startswith("expected ")
    names = re.split(r", or |, | or ", explanation[len("expected "):])
    assert set(names) <= set(probe.param_rules())
    return names


@pytest.mark.parametrize(
    "text, line, column, echoed, names",
    [
        ("", 1, 1, "", {"real", "nninteger", "unary_op", "id"}),
        ("+1", 1, 1, "+1", {"real", "nninteger", "unary_op", "id"}),
        (".5", 1, 1, ".5", {"real", "nninteger", "unary_op", "id"}),
        ("Pi", 1, 1, "Pi", {"real", "nninteger", "unary_op", "id"}),
        ("(1", 1, 3, "(1", {"plus", "mul"}),
        ("(1 x", 1, 4, "(1 x", {"plus", "mul"}),
        ("(1+", 1, 4, "(1+", {"real", "nninteger", "unary_op", "id"}),
        ("-", 1, 2, "-", {"real", "nninteger", "unary_op", "id"}),
        (" \n  \n ", 3, 2, " ", {"real", "nninteger", "unary_op", "id"}),
        ("(2*\n(3", 2, 3, "(3", {"plus", "mul"}),
    ],
)
def test_parse_error_report(text, line, column, echoed, names):
    got_line, got_column, got_echoed, explanation = parse_report(text)
    assert (got_line, got_column, got_echoed) == (line, column, echoed)
    assert set(expected_names(explanation)) == names


def test_expected_list_wording():
    assert parse_report("+1")[3] == "expected real, nninteger, unary_op, or id"
    assert parse_report("(1")[3] in ("expected mul or plus", "expected plus or mul")


def test_parse_tree_shape():
    tree = probe.param_parse("sin( 2 )^x - 3")
    assert tree[0] == "exp"
    term, minus, term2 = tree[2]
    assert minus == ("plus", "-", [])
    (factor,) = term[2]
    sin_power, x_power = factor[2]  # "^" itself makes no node
    assert [c[0] for c in sin_power[2]] == ["unary_op", "exp"]
    assert sin_power[2][0][1] == "sin"
    assert x_power[2] == [("id", "x", [])]
    assert term2[1] == "3"


def test_deep_nesting_is_refused_not_a_crash():
    depth = probe.param_max_depth()
    assert value("(" * (depth - 1) + "7" + ")" * (depth - 1)) == 7.0
    assert value("-" * (depth - 1) + "7") == (-7.0 if (depth - 1) % 2 else 7.0)
    for text in ("(" * 100_000 + "1" + ")" * 100_000, "-" * 100_000 + "1", "sin(" * depth + "1" + ")" * depth):
        kind, report = error(text)
        assert kind == "ParseError"
        assert report.splitlines()[-1].strip().startswith("= ")
        assert "nested" in report.splitlines()[-1]


# ---- laws ----------------------------------------------------------------------------------------------------------

# Numbers written as "12." or "1.5" read the same in Python and in the grammar; without "^" the two grammars share
# precedence and left associativity of + - * / and unary minus, so Python's own evaluation is the oracle.
numbers = st.builds(
    lambda i, f: f"{i}.{f}" if f else f"{i}.", st.integers(0, 10**6), st.sampled_from(["", "5", "25", "125"])
)
operators = st.sampled_from(["+", "-", "*", "/"])


@st.composite
def expressions(draw, depth=0):
    parts = [draw(operand(depth))]
    for _ in range(draw(st.integers(0, 3))):
        parts += [draw(operators), draw(operand(depth))]
    return draw(st.sampled_from(["", " ", "  "])).join(parts)


def operand(depth):
    leaves = numbers | numbers.map(lambda n: "-" + n)
    if depth >= 2:
        return leaves
    return leaves | st.deferred(lambda: expressions(depth + 1)).map(lambda e: f"({e})")


@given(expressions())
def test_arithmetic_agrees_with_python(text):
    try:
        expected = float(eval(text))
    except ZeroDivisionError:
        assert error(text) == ("DivisionByZero", "DivisionByZero")
        return
    assert same_float(value(text), expected)


@given(st.lists(st.integers(1, 5), min_size=1, max_size=4), st.floats(0.5, 3.0))
def test_powers_are_left_associative(exponents, base):
    text = "b" + "".join(f"^{e}" for e in exponents)
    expected = base
    for e in exponents:
        expected = math.pow(expected, e)
    assert same_float(value(text, b=base), expected)
