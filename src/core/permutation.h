// Qubit permutations: a permutation of at most 8 points packed into one 32-bit word, so that it is copied,
// compared and hashed as an integer. Entry i (the new index of qubit i) sits in bits 3i .. 3i+2, the length in
// bits 24 .. 27; entries at and beyond the length are 0 in every value the constructors produce.
#pragma once

#include <bit>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

#include "core/panic.h"
#include "core/siphash.h"

namespace tandrel {

struct Permut32;

namespace detail {
[[noreturn]] void panic_permutation_length();
[[noreturn]] void panic_permutation_value_bound();
[[noreturn]] void panic_permutation_not_unique();
[[noreturn]] void panic_permutation_partial();
}  // namespace detail

/// One SWAP of a decomposition or one comparator of a sorting network: the positions (a, b), a < b.
struct Transposition {
    uint8_t a;
    uint8_t b;

    friend bool operator==(const Transposition&, const Transposition&) = default;
};

/// Iterator over the entries of a permutation below its length, position by position.
struct Permut32Iter;

/// Lazily yields the SWAPs that sort a permutation into the identity (see `Permut32::generate_swaps`).
class SwapIter;

/// A permutation of at most 8 points in one word. Equality, order and hash are those of `raw` as an unsigned
/// integer, so permutations order by length first, then by the highest differing entry.
struct Permut32 {
    uint32_t raw = 0;

    /// The maximum number of points.
    static constexpr uint8_t MAX_LEN = 8;
    /// Width of one entry in bits and its mask.
    static constexpr uint32_t ENTRY_BITS = 3;
    static constexpr uint32_t ENTRY_MASK = 0x7;
    /// Position and mask of the length field.
    static constexpr uint32_t LEN_SHIFT = 24;
    static constexpr uint32_t LEN_MASK = 0xF;
    /// The entries of the identity of length 8 (entry i = i), without the length field.
    static constexpr uint32_t IDENTITY_ENTRIES = 0xFAC688;
    /// Bits that no well-formed value sets.
    static constexpr uint32_t RESERVED_BITS = 0xF0000000;

    /// The identity of length n; n above 8 fails "Permutation length must be less than or equal to 8".
    static Permut32 identity(uint8_t n) {
        if (n > MAX_LEN) [[unlikely]]
            detail::panic_permutation_length();
        return Permut32{(IDENTITY_ENTRIES & entries_mask(n)) | (uint32_t(n) << LEN_SHIFT)};
    }

    /// Validating constructor: entry i is the i-th value and the length is the number of values. A value of 8 or
    /// more fails "Permutation values must be less than 8", a repeated value "Permutation values must be
    /// unique", and values that are distinct but not all below their count (a partial injection such as (3 5))
    /// fail "Permutation values must be less than the permutation length".
    template <class Range>
    static Permut32 from_iter(const Range& values) {
        Permut32 p;
        uint32_t seen = 0;
        uint32_t n = 0;
        for (auto value : values) {
            if (!below_max_len(value)) detail::panic_permutation_value_bound();
            const auto v = static_cast<uint32_t>(value);
            if (seen & (1u << v)) detail::panic_permutation_not_unique();
            seen |= 1u << v;
            p.raw |= v << (ENTRY_BITS * n);
            ++n;
        }
        // n distinct values are all below n exactly when they are 0 .. n-1.
        if (seen != (1u << n) - 1) detail::panic_permutation_partial();
        p.raw |= n << LEN_SHIFT;
        return p;
    }
    static Permut32 from_iter(std::initializer_list<uint8_t> values) { return from_iter<>(values); }

    /// Stores at most 8 values in order without checking them (each is kept to its 3 bits); for callers whose
    /// values are a permutation by construction. A ninth value fails as an index out of bounds.
    template <class Range>
    static Permut32 from_iter_unchecked(const Range& values);
    static Permut32 from_iter_unchecked(std::initializer_list<uint8_t> values) {
        return from_iter_unchecked<>(values);
    }

    /// A permutation of length n that starts with the given distinct values and is completed position by
    /// position with i itself when i is still free, else the smallest free value. Fails as `identity` for n
    /// above 8, as `from_iter` for a repeated value or one of 8 or more, and with "Permutation values must be
    /// less than the permutation length" for a value of n or more.
    template <class Range>
    static Permut32 from_iter_with_ext(uint8_t n, const Range& values);
    static Permut32 from_iter_with_ext(uint8_t n, std::initializer_list<uint8_t> values) {
        return from_iter_with_ext<>(n, values);
    }

    /// Row n of `ALL_PERMUTATIONS`: the n! permutations of length n in Heap's order; n above 8 fails as an
    /// index out of bounds. Built once, on first use from any thread; shared read-only afterwards.
    static std::span<const Permut32> all(size_t n);

    /// The number of points.
    uint8_t len() const { return uint8_t((raw >> LEN_SHIFT) & LEN_MASK); }
    /// Entry i, also at and beyond the length (where it reads 0); i of 8 or more fails "assertion failed: idx < 8".
    uint8_t at(size_t i) const;
    /// Same as `at`.
    uint8_t operator[](size_t i) const { return at(i); }
    /// Writes entry i, leaving the length and the other entries as they are; only for building a value.
    /// i of 8 or more fails as `at`.
    void set(size_t i, uint8_t v);

    /// The entries below the length.
    Permut32Iter iter() const;
    /// The entries below the length as a range.
    Permut32Iter begin() const;
    Permut32Iter end() const;

    /// The inverse q of the same length: q[p[i]] = i.
    Permut32 inv() const;
    /// Alias of `inv`.
    Permut32 inverse() const { return inv(); }

    /// Composition (p * q)[i] = p[q[i]]; both must have the same length (else "assertion failed: self.len() ==
    /// other.len()").
    friend Permut32 operator*(Permut32 p, Permut32 q);

    /// The image of a qubit bit mask: bit p[i] is set for every set bit i below the length; higher bits drop.
    uint8_t permut_bv(uint8_t mask) const;

    /// The SWAPs on positions (i, j) of the sorting network of this length that find their pair out of order,
    /// in network order; applied to the entries in that order they sort them into the identity.
    SwapIter generate_swaps() const;

    /// Whether p[i] = i for every i below the length (true for length 0).
    bool is_identity() const { return ((raw ^ IDENTITY_ENTRIES) & entries_mask(len())) == 0; }

    /// "(1 0 2)": the entries below the length separated by spaces, in parentheses; "()" when empty.
    std::string str() const;

    /// Feeds the word's 4 bytes, little-endian.
    void hash_into(SipHasher13& h) const { h.write_u32(raw); }

    friend bool operator==(const Permut32&, const Permut32&) = default;
    friend std::strong_ordering operator<=>(const Permut32&, const Permut32&) = default;

    /// Whether the word is a permutation as the constructors make them: length at most 8, entries below the
    /// length pairwise distinct and below it, every other bit 0. For words read back from files.
    bool is_valid() const;

    /// The mask of the entry bits of positions below n (all entry bits for n of 8 or more).
    static constexpr uint32_t entries_mask(uint32_t n) {
        return n >= MAX_LEN ? (uint32_t(1) << LEN_SHIFT) - 1 : (uint32_t(1) << (ENTRY_BITS * n)) - 1;
    }

private:
    /// The length, capped at 8 so that loops over the entries of a malformed word stay inside the entry bits.
    uint32_t npoints() const { return len() < MAX_LEN ? len() : MAX_LEN; }
    template <class V>
    static bool below_max_len(V value) {
        return std::cmp_greater_equal(value, 0) && std::cmp_less(value, MAX_LEN);
    }
};
static_assert(sizeof(Permut32) == 4, "a permutation is one 32-bit word");
static_assert(std::is_trivially_copyable_v<Permut32>);
static_assert([] {
    uint32_t w = 0;
    for (uint32_t i = 0; i < Permut32::MAX_LEN; ++i) w |= i << (Permut32::ENTRY_BITS * i);
    return w == Permut32::IDENTITY_ENTRIES;
}());

/// Brings two permutations to a common length: the shorter one is extended by fixed points; the longer one,
/// and both when their lengths are equal, come back unchanged.
std::pair<Permut32, Permut32> coordinate_permute(Permut32 a, Permut32 b);

/// The comparators of the SWAP sorting network for n points (none for 0 and 1); n above 8 fails as an index
/// out of bounds.
std::span<const Transposition> sorting_network(size_t n);

struct Permut32Iter {
    using value_type = uint8_t;
    using difference_type = std::ptrdiff_t;

    Permut32 perm;
    /// The next position.
    uint8_t idx = 0;

    /// The entry at `idx` and advances, or nothing once `idx` reaches the length.
    std::optional<uint8_t> next() {
        if (idx >= perm.len()) return std::nullopt;
        return perm.at(idx++);
    }

    uint8_t operator*() const { return perm.at(idx); }
    Permut32Iter& operator++() {
        ++idx;
        return *this;
    }
    Permut32Iter operator++(int) {
        Permut32Iter old = *this;
        ++idx;
        return old;
    }
    friend bool operator==(const Permut32Iter& a, const Permut32Iter& b) { return a.idx == b.idx; }
};
static_assert(std::forward_iterator<Permut32Iter>);

class SwapIter {
public:
    using value_type = Transposition;
    using difference_type = std::ptrdiff_t;

    SwapIter() = default;
    explicit SwapIter(Permut32 p) : work_(p), network_(sorting_network(p.len())) { advance(); }

    /// The next SWAP, or nothing once the working copy is sorted.
    std::optional<Transposition> next() {
        if (pos_ > network_.size()) return std::nullopt;
        Transposition t = current_;
        advance();
        return t;
    }

    // Input-range form, so that `for (Transposition t : p.generate_swaps())` works.
    Transposition operator*() const { return current_; }
    SwapIter& operator++() {
        advance();
        return *this;
    }
    void operator++(int) { advance(); }
    SwapIter begin() const { return *this; }
    std::default_sentinel_t end() const { return {}; }
    friend bool operator==(const SwapIter& it, std::default_sentinel_t) { return it.pos_ > it.network_.size(); }

private:
    /// Finds the next out-of-order comparator, swaps its entries and makes it current; past the end when none.
    void advance() {
        while (pos_ < network_.size()) {
            Transposition t = network_[pos_++];
            uint8_t x = work_.at(t.a), y = work_.at(t.b);
            if (y < x) {
                work_.set(t.a, y);
                work_.set(t.b, x);
                current_ = t;
                return;
            }
        }
        pos_ = network_.size() + 1;
    }

    Permut32 work_;
    std::span<const Transposition> network_;
    // Index of the comparator after the current one; network size + 1 once exhausted.
    size_t pos_ = 0;
    Transposition current_{0, 0};
};
static_assert(std::input_iterator<SwapIter>);

// ---------------------------------------------------------------------------------------------------------------
// Inline definitions

inline uint8_t Permut32::at(size_t i) const {
    if (i >= MAX_LEN) [[unlikely]]
        panic_condition("idx < 8", std::source_location::current());
    return uint8_t((raw >> (ENTRY_BITS * i)) & ENTRY_MASK);
}

inline void Permut32::set(size_t i, uint8_t v) {
    if (i >= MAX_LEN) [[unlikely]]
        panic_condition("idx < 8", std::source_location::current());
    const uint32_t shift = ENTRY_BITS * uint32_t(i);
    raw = (raw & ~(ENTRY_MASK << shift)) | ((uint32_t(v) & ENTRY_MASK) << shift);
}

inline Permut32Iter Permut32::iter() const { return Permut32Iter{*this, 0}; }
inline Permut32Iter Permut32::begin() const { return Permut32Iter{*this, 0}; }
inline Permut32Iter Permut32::end() const { return Permut32Iter{*this, len()}; }

inline Permut32 Permut32::inv() const {
    const uint32_t n = npoints();
    Permut32 q{uint32_t(len()) << LEN_SHIFT};
    for (uint32_t i = 0; i < n; ++i) q.raw |= i << (ENTRY_BITS * ((raw >> (ENTRY_BITS * i)) & ENTRY_MASK));
    return q;
}

inline Permut32 operator*(Permut32 p, Permut32 q) {
    if (p.len() != q.len()) [[unlikely]]
        panic_condition("self.len() == other.len()", std::source_location::current());
    const uint32_t n = p.npoints();
    Permut32 r{uint32_t(p.len()) << Permut32::LEN_SHIFT};
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t qi = (q.raw >> (Permut32::ENTRY_BITS * i)) & Permut32::ENTRY_MASK;
        r.raw |= ((p.raw >> (Permut32::ENTRY_BITS * qi)) & Permut32::ENTRY_MASK) << (Permut32::ENTRY_BITS * i);
    }
    return r;
}

inline uint8_t Permut32::permut_bv(uint8_t mask) const {
    const uint32_t n = npoints();
    uint32_t out = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (mask & (1u << i)) out |= 1u << ((raw >> (ENTRY_BITS * i)) & ENTRY_MASK);
    return uint8_t(out);
}

inline SwapIter Permut32::generate_swaps() const { return SwapIter(*this); }

template <class Range>
Permut32 Permut32::from_iter_unchecked(const Range& values) {
    Permut32 p;
    uint32_t n = 0;
    for (auto value : values) {
        check_index(n, MAX_LEN);
        p.raw |= (uint32_t(value) & ENTRY_MASK) << (ENTRY_BITS * n);
        ++n;
    }
    p.raw |= n << LEN_SHIFT;
    return p;
}

template <class Range>
Permut32 Permut32::from_iter_with_ext(uint8_t n, const Range& values) {
    if (n > MAX_LEN) [[unlikely]]
        detail::panic_permutation_length();
    Permut32 p{uint32_t(n) << LEN_SHIFT};
    uint32_t used = 0;
    uint32_t i = 0;
    for (auto value : values) {
        if (!below_max_len(value)) detail::panic_permutation_value_bound();
        const auto v = static_cast<uint32_t>(value);
        if (used & (1u << v)) detail::panic_permutation_not_unique();
        if (v >= n) detail::panic_permutation_partial();
        // Distinct values below n number at most n, so i stays below n here.
        used |= 1u << v;
        p.raw |= v << (ENTRY_BITS * i);
        ++i;
    }
    for (; i < n; ++i) {
        // i is free, or else some value below i is (i values are used and not all of them are below i).
        const uint32_t v = (used & (1u << i)) ? uint32_t(std::countr_one(used)) : i;
        used |= 1u << v;
        p.raw |= v << (ENTRY_BITS * i);
    }
    return p;
}

}  // namespace tandrel
