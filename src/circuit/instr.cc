#include "circuit/instr.h"

#include <bit>

#include "core/fmt.h"

namespace tandrel {

Instr32 Instr32::make(Gate16 gate, std::span<const uint8_t> qargs) {
    if (qargs.size() != gate.nqargs()) panic("Number of qubit arguments does not match gate arity");
    for (size_t i = 0; i < qargs.size(); ++i)
        for (size_t j = i + 1; j < qargs.size(); ++j)
            if (qargs[i] == qargs[j]) panic("Qubit arguments must be unique");
    // 0xFF marks an empty slot: stored as a qubit it would silently shorten the argument list.
    for (uint8_t q : qargs)
        if (q == QArgs16::NONE) panic("Qubit index 255 is reserved for an absent qubit argument");
    return Instr32{gate, QArgs16::from_iter(qargs)};
}

Instr32 Instr32::apply_permutation(Permut32 perm) const {
    Instr32 out = *this;
    for (size_t i = 0; i < qargs.len(); ++i) {
        const uint8_t q = qargs.raw[i];
        const uint8_t image = perm.at(q);
        // Beyond its length a permutation stores 0s; reading them would merge distinct qubits.
        out.qargs.raw[i] = q < perm.len() ? image : q;
    }
    return out;
}

std::optional<uint8_t> Instr32::pass_mask(uint8_t mask) const {
    for (uint8_t q : qargs) {
        const uint8_t bit = uint8_t(1u << (q & 7));
        if (mask & bit) continue;
        const unsigned lowest_free = static_cast<unsigned>(std::countr_one(mask));  // 8 for a full mask
        if (q != lowest_free) return std::nullopt;
        mask |= bit;
    }
    return mask;
}

std::string Instr32::str() const {
    std::string out = gate.str();
    out += '(';
    fjoin(out, qargs.begin(), qargs.end(), ", ");
    out += ')';
    return out;
}

}  // namespace tandrel
