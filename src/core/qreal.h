// Tolerant real numbers: a double that computes as a double but compares, orders and hashes on a 2^-24 grid,
// so that amplitudes differing only by floating-point noise give the same key.
#pragma once

#include <cmath>
#include <compare>
#include <cstdint>
#include <string>

namespace tandrel {

/// A 64-bit double with grid equality, order and hash (see `percision_repr`). Arithmetic is plain IEEE-754.
struct Qreal {
    double v = 0.0;

    /// Multiplier of the comparison grid (2^24).
    static constexpr double GRID = 16777216.0;
    /// Strict threshold of `near_zero` (2^-24).
    static constexpr double NEAR_ZERO = 5.960464477539063e-08;
    /// Multiplier of `loose_eq` (2^8), applied with truncation.
    static constexpr double LOOSE_GRID = 256.0;

    constexpr Qreal() = default;
    constexpr Qreal(double value) : v(value) {}  // NOLINT: implicit by design, amplitudes mix freely with doubles

    /// The grid bucket: v * 2^24 rounded half away from zero, saturated to int64 (NaN gives 0).
    int64_t percision_repr() const {
        const double x = v * GRID;
        // Within the int64 range (NaN is not) round on the truncated integer instead of calling std::round, which
        // is not inlined: x - trunc(x) is exact, so the result is the same for every x.
        if (x >= -9223372036854775808.0 && x < 9223372036854775808.0) {
            const int64_t t = static_cast<int64_t>(x);
            const double frac = x - static_cast<double>(t);
            return t + int64_t(frac >= 0.5) - int64_t(frac <= -0.5);
        }
        return saturate(x);
    }

    /// True when |v| < 2^-24 (false for NaN).
    bool near_zero() const { return std::fabs(v) < NEAR_ZERO; }

    /// Coarse equality of randomized checks: both values times 256, truncated and saturated, agree.
    bool loose_eq(Qreal other) const {
        return saturate(std::trunc(v * LOOSE_GRID)) == saturate(std::trunc(other.v * LOOSE_GRID));
    }

    Qreal sqrt() const { return Qreal(std::sqrt(v)); }

    // Equal doubles share their bucket, so the buckets are only computed for values that differ.
    friend bool operator==(Qreal a, Qreal b) { return a.v == b.v || a.percision_repr() == b.percision_repr(); }
    friend std::strong_ordering operator<=>(Qreal a, Qreal b) {
        if (a.v == b.v) return std::strong_ordering::equal;
        return a.percision_repr() <=> b.percision_repr();
    }

    friend Qreal operator+(Qreal a, Qreal b) { return a.v + b.v; }
    friend Qreal operator-(Qreal a, Qreal b) { return a.v - b.v; }
    friend Qreal operator*(Qreal a, Qreal b) { return a.v * b.v; }
    friend Qreal operator/(Qreal a, Qreal b) { return a.v / b.v; }
    Qreal operator-() const { return -v; }
    Qreal& operator+=(Qreal o) { v += o.v; return *this; }
    Qreal& operator-=(Qreal o) { v -= o.v; return *this; }
    Qreal& operator*=(Qreal o) { v *= o.v; return *this; }
    Qreal& operator/=(Qreal o) { v /= o.v; return *this; }

    /// The shortest text that reads back to the same double, positional notation ("1", "0.0000001", "-0",
    /// "NaN", "inf").
    std::string str() const;
    /// The double with exactly `decimals` digits after the point.
    std::string str(int decimals) const;

    /// Conversion of an already rounded or truncated double to int64 with saturation; NaN gives 0.
    static int64_t saturate(double x) {
        if (x != x) return 0;
        if (x >= 9223372036854775808.0) return INT64_MAX;
        if (x < -9223372036854775808.0) return INT64_MIN;
        return static_cast<int64_t>(x);
    }
};

}  // namespace tandrel
