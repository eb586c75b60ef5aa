// Instruction lists crossing the Python boundary: Python lists of `Instr` in, lists of `Instr` out.
#pragma once

#include <vector>

#include "circuit/instr.h"
#include "conventions.h"

namespace tandrel::py {

/// The values of a Python list of `Instr`, in order.
inline std::vector<Instr32> instrs_from_python(const std::vector<Obj<Instr32>>& instrs) {
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (const auto& i : instrs) out.push_back(*Read(i));
    return out;
}

/// New `Instr` objects for the instructions [first, last), in order.
template <class It>
std::vector<Obj<Instr32>> instrs_to_python(It first, It last) {
    std::vector<Obj<Instr32>> out;
    for (It it = first; it != last; ++it) out.emplace_back(*it);
    return out;
}

inline std::vector<Obj<Instr32>> instrs_to_python(const std::vector<Instr32>& instrs) {
    return instrs_to_python(instrs.begin(), instrs.end());
}

}  // namespace tandrel::py
