// Qubit arguments of a compact instruction: up to two qubit indices in two bytes, 0xFF marking an empty slot.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "core/panic.h"
#include "core/siphash.h"

namespace tandrel {

/// The qubit indices of an instruction in argument order. The length is derived: 0 when the first byte is
/// `NONE`, else 1 when the second is, else 2. Equality, hash and order are those of the byte pair (order
/// lexicographic and unsigned, so an absent second qubit orders after every present one).
struct QArgs16 {
    /// The byte of an empty slot; never a qubit.
    static constexpr uint8_t NONE = 0xFF;
    /// The number of slots.
    static constexpr size_t MAX_LEN = 2;

    std::array<uint8_t, MAX_LEN> raw{NONE, NONE};

    /// Slot i gets the i-th value; missing slots stay empty. A third value is an index-out-of-bounds failure
    /// (length 2, index 2). Neither uniqueness nor range is checked.
    template <class Range>
    static QArgs16 from_iter(const Range& values) {
        QArgs16 q;
        size_t i = 0;
        for (auto v : values) {
            check_index(i, MAX_LEN);
            q.raw[i++] = static_cast<uint8_t>(v);
        }
        return q;
    }
    static QArgs16 from_iter(std::initializer_list<uint8_t> values) { return from_iter<>(values); }

    /// Number of qubits.
    size_t len() const { return raw[0] == NONE ? 0 : raw[1] == NONE ? 1 : 2; }
    /// The first `len()` bytes.
    std::span<const uint8_t> as_slice() const { return {raw.data(), len()}; }
    /// The first qubit's byte; `len()` qubits follow.
    const uint8_t* data() const { return raw.data(); }
    /// Iteration over the `len()` qubits.
    const uint8_t* begin() const { return raw.data(); }
    const uint8_t* end() const { return raw.data() + len(); }

    /// Whether q is among the first `len()` bytes.
    bool contains(uint8_t q) const { return raw[0] != NONE && (raw[0] == q || (raw[1] == q && raw[1] != NONE)); }

    /// The i-th qubit; i at or beyond `len()` is an index-out-of-bounds failure.
    uint8_t operator[](size_t i) const {
        check_index(i, len());
        return raw[i];
    }

    /// Feeds the `len()` qubit bytes.
    void hash_into(SipHasher13& h) const { h.write(raw.data(), len()); }

    friend bool operator==(const QArgs16&, const QArgs16&) = default;
    friend std::strong_ordering operator<=>(const QArgs16&, const QArgs16&) = default;
};
static_assert(sizeof(QArgs16) == 2);

}  // namespace tandrel
