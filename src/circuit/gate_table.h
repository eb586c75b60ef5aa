// The built-in gates: the one table of their names, parameters and stored matrix constants. The registry starts
// with exactly these records, in this order, so a built-in gate's handle is its position here.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "core/qcomplex.h"

namespace tandrel {

/// One built-in gate: its name, its parameter (empty when it has none) and its 2x2 or 4x4 matrix row by row.
struct BuiltinGate {
    std::string_view name;
    std::string_view param;
    /// Number of matrix rows: 2 for a one-qubit gate, 4 for a two-qubit gate.
    size_t nrows;
    /// The entries row by row; only the first nrows * nrows are used.
    std::array<Qcomplex, 16> rows;
};

/// The 23 built-in gates in handle order.
std::span<const BuiltinGate> builtin_gates();

}  // namespace tandrel
