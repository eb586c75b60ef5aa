// Index helpers of gate application: inserting zero bits to enumerate the amplitudes a gate touches.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel {

/// Inserts a 0 bit at position p of x: bits below p stay, bits from p upward move one place up.
constexpr size_t insert_bit(size_t x, unsigned p) {
    const size_t low = x & ((size_t(1) << p) - 1);
    return ((x ^ low) << 1) | low;
}

/// The base index number i of a k-qubit operation on ascending-sorted qubits `sorted[0..k)`: i with a 0 bit
/// inserted at each of them in turn.
inline size_t base_index(size_t i, const uint8_t* sorted, size_t k) {
    for (size_t j = 0; j < k; ++j) i = insert_bit(i, sorted[j]);
    return i;
}

/// The touched index of local number m: bit qargs[j] is set when bit k-1-j of m is (the first argument is the
/// most significant local bit).
inline size_t local_offset(size_t m, const uint8_t* qargs, size_t k) {
    size_t off = 0;
    for (size_t j = 0; j < k; ++j)
        if ((m >> (k - 1 - j)) & 1) off |= size_t(1) << qargs[j];
    return off;
}

}  // namespace tandrel
