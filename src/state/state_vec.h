// Complex state vectors of n qubits: the objects circuits are evaluated on. Bit q of a basis index is the
// value of qubit q. Equality and hash go through the tolerant grid of `Qreal`, after phase canonicalisation.
#pragma once

#include <bit>
#include <compare>
#include <cstdint>
#include <string>
#include <vector>

#include "core/qcomplex.h"
#include "core/qreal.h"
#include "core/rng.h"

namespace tandrel {

/// 2^n amplitudes as separate real and imaginary arrays of equal power-of-two length.
struct StateVec {
    std::vector<Qreal> re;
    std::vector<Qreal> im;

    /// Wraps the given parts; fails unless the lengths agree and are a power of 2.
    static StateVec make(const std::vector<double>& re, const std::vector<double>& im);
    /// Length 2^n, every amplitude 0.
    static StateVec zeros(uint32_t n);
    /// Uniform random parts, normalised and phase-canonicalised.
    static StateVec from_random(Rng& rng, uint32_t n);
    /// Amplitudes depending only on the Hamming weight of the index (invariant under qubit relabelling),
    /// normalised and phase-canonicalised.
    static StateVec from_random_symmetric(Rng& rng, uint32_t n);

    /// The length 2^n of a vector of n qubits; fails when it overflows a 32-bit size.
    static size_t len_for(uint32_t n);

    size_t len() const { return re.size(); }
    uint32_t nqubits() const { return static_cast<uint32_t>(std::countr_zero(re.size())); }

    Qcomplex at(size_t i) const;
    void set(size_t i, Qcomplex value);

    /// Divides by the norm, then canonicalises the phase; does nothing on an empty vector.
    void normalize();
    /// Multiplies by the unit phase that makes the reference amplitude real and non-negative.
    void normalize_arg();
    /// SipHash-1-3 of the lengths and grid buckets of both parts: the equivalence key.
    uint64_t hash_value() const;
    /// Squared norm within 2^-24 of 1.
    bool check() const;
    /// Coarse amplitude-wise equality of randomized checks.
    bool loose_eq(const StateVec& other) const;

    friend bool operator==(const StateVec& a, const StateVec& b) { return a.re == b.re && a.im == b.im; }
    friend std::strong_ordering operator<=>(const StateVec& a, const StateVec& b);

    /// "[a0, a1, ...]" with every number shown with 4 decimals.
    std::string str() const;

private:
    /// Allocates both parts with `len` zero amplitudes.
    static StateVec with_len(size_t len);
    /// Divides every amplitude by the square root of the summed squared moduli.
    void normalize_amplitude();
};

}  // namespace tandrel
