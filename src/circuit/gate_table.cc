#include "circuit/gate_table.h"

namespace tandrel {

namespace {

// The constants are the IEEE doubles as written, stored rather than computed, so that every process starts from
// bit-identical matrices (note 0.5000000000000001 and the ...475 imaginary parts of the T phases).
constexpr double R = 0.7071067811865476;
constexpr Qcomplex ZERO{0.0, 0.0};
constexpr Qcomplex ONE{1.0, 0.0};
constexpr Qcomplex I{0.0, 1.0};
constexpr Qcomplex MINUS_ONE{-1.0, 0.0};
constexpr Qcomplex MINUS_I{0.0, -1.0};

constexpr BuiltinGate one_qubit(std::string_view name, Qcomplex a, Qcomplex b, Qcomplex c, Qcomplex d,
                                std::string_view param = {}) {
    return BuiltinGate{name, param, 2, {a, b, c, d}};
}

/// diag(1, p): the phase gates.
constexpr BuiltinGate phase(std::string_view name, double re, double im, std::string_view param = {}) {
    return one_qubit(name, ONE, ZERO, ZERO, Qcomplex{re, im}, param);
}

/// The controlled form of a one-qubit matrix [[a, b], [c, d]] acting on the second argument.
constexpr BuiltinGate controlled(std::string_view name, Qcomplex a, Qcomplex b, Qcomplex c, Qcomplex d) {
    return BuiltinGate{name,
                       {},
                       4,
                       {ONE, ZERO, ZERO, ZERO,  //
                        ZERO, ONE, ZERO, ZERO,  //
                        ZERO, ZERO, a, b,       //
                        ZERO, ZERO, c, d}};
}

constexpr BuiltinGate BUILTIN_GATES[] = {
    one_qubit("i", ONE, ZERO, ZERO, ONE),
    one_qubit("h", {R, 0.0}, {R, 0.0}, {R, 0.0}, {-R, 0.0}),
    one_qubit("x", ZERO, ONE, ONE, ZERO),
    one_qubit("z", ONE, ZERO, ZERO, MINUS_ONE),
    one_qubit("y", ZERO, MINUS_I, I, ZERO),
    phase("s", 0.0, 1.0),
    phase("sdg", 0.0, -1.0),
    phase("t", 0.7071067811865476, 0.7071067811865475),
    phase("tdg", 0.7071067811865476, -0.7071067811865475),
    controlled("cx", ZERO, ONE, ONE, ZERO),
    controlled("cz", ONE, ZERO, ZERO, MINUS_ONE),
    controlled("cy", ZERO, MINUS_I, I, ZERO),
    controlled("cs", ONE, ZERO, ZERO, I),
    controlled("csdg", ONE, ZERO, ZERO, MINUS_I),
    BuiltinGate{"swap",
                {},
                4,
                {ONE, ZERO, ZERO, ZERO,  //
                 ZERO, ZERO, ONE, ZERO,  //
                 ZERO, ONE, ZERO, ZERO,  //
                 ZERO, ZERO, ZERO, ONE}},
    phase("t1/2", 0.9238795325112867, 0.3826834323650898),
    phase("tdg1/2", 0.9238795325112867, -0.3826834323650898),
    phase("rz", 0.5000000000000001, 0.8660254037844386, "pi/3"),
    phase("rz", 0.5000000000000001, -0.8660254037844386, "-pi/3"),
    phase("rz", 0.8090169943749475, 0.5877852522924731, "pi/5"),
    phase("rz", 0.8090169943749475, -0.5877852522924731, "-pi/5"),
    phase("rz", 0.9807852804032304, 0.19509032201612825, "pi/16"),
    phase("rz", 0.9807852804032304, -0.19509032201612825, "-pi/16"),
};

static_assert(std::size(BUILTIN_GATES) == 23);

}  // namespace

std::span<const BuiltinGate> builtin_gates() { return BUILTIN_GATES; }

}  // namespace tandrel
