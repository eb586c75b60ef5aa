#include "state/state_vec.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "core/panic.h"
#include "core/siphash.h"

namespace tandrel {

size_t StateVec::len_for(uint32_t n) {
    if (n >= 32) panic("Number of qubits too large, resulting in overflow for state vector size.");
    return size_t(1) << n;
}

StateVec StateVec::with_len(size_t len) {
    // Refuse what the machine cannot hold rather than letting the kernel kill the process on first touch.
    static const unsigned long long physical =
        static_cast<unsigned long long>(sysconf(_SC_PHYS_PAGES)) * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
    if (physical > 0 && static_cast<unsigned long long>(len) * 2 * sizeof(Qreal) > physical) throw std::bad_alloc();
    StateVec s;
    s.re.assign(len, Qreal(0.0));
    s.im.assign(len, Qreal(0.0));
    return s;
}

StateVec StateVec::make(const std::vector<double>& re, const std::vector<double>& im) {
    check_eq(re.size(), im.size(), "Real and imaginary parts must have the same length");
    if (!std::has_single_bit(re.size())) panic("Length must be a power of 2");
    StateVec s;
    s.re.assign(re.begin(), re.end());
    s.im.assign(im.begin(), im.end());
    return s;
}

StateVec StateVec::zeros(uint32_t n) { return with_len(len_for(n)); }

StateVec StateVec::from_random(Rng& rng, uint32_t n) {
    StateVec s = with_len(len_for(n));
    for (auto& x : s.re) x = rng.uniform();
    for (auto& x : s.im) x = rng.uniform();
    s.normalize_amplitude();
    s.normalize_arg();
    return s;
}

StateVec StateVec::from_random_symmetric(Rng& rng, uint32_t n) {
    const size_t len = len_for(n);
    std::vector<double> a(n + 1), b(n + 1);
    for (auto& x : a) x = rng.uniform();
    for (auto& x : b) x = rng.uniform();
    StateVec s = with_len(len);
    for (size_t i = 0; i < len; ++i) {
        const int w = std::popcount(i);
        s.re[i] = a[w];
        s.im[i] = b[w];
    }
    s.normalize_amplitude();
    s.normalize_arg();
    return s;
}

Qcomplex StateVec::at(size_t i) const {
    check_index(i, re.size());
    return {re[i], im[i]};
}

void StateVec::set(size_t i, Qcomplex value) {
    check_index(i, re.size());
    re[i] = value.re;
    im[i] = value.im;
}

void StateVec::normalize_amplitude() {
    double s = 0.0;
    for (size_t i = 0; i < re.size(); ++i) s += re[i].v * re[i].v + im[i].v * im[i].v;
    const double norm = std::sqrt(s);
    for (auto& x : re) x.v /= norm;
    for (auto& x : im) x.v /= norm;
}

void StateVec::normalize() {
    if (re.empty()) return;
    normalize_amplitude();
    normalize_arg();
}

void StateVec::normalize_arg() {
    const size_t n = re.size();
    Qcomplex r = at(0);
    if (r.re.near_zero() && r.im.near_zero()) {
        r = {re[n - 1], im[n - 1]};
        if (r.re.near_zero() && r.im.near_zero()) {
            double sr = 0.0, si = 0.0;
            for (size_t i = 0; i < n; ++i) {
                sr += re[i].v;
                si += im[i].v;
            }
            const double m = std::sqrt(sr * sr + si * si);
            r = {sr / m, si / m};
        }
    }
    // f = conj(r) / |r|^2 * |r|, a unit phase.
    const double norm_sqr = r.re.v * r.re.v + r.im.v * r.im.v;
    const double abs = std::sqrt(norm_sqr);
    const double fr = r.re.v / norm_sqr * abs;
    const double fi = -r.im.v / norm_sqr * abs;
    for (size_t i = 0; i < n; ++i) {
        const double a = re[i].v, b = im[i].v;
        re[i].v = a * fr - b * fi;
        im[i].v = a * fi + b * fr;
    }
    im[0].v = 0.0;
}

uint64_t StateVec::hash_value() const {
    SipHasher13 h;
    auto stream = [&h](const std::vector<Qreal>& part) {
        h.write_u32(static_cast<uint32_t>(part.size()));
        for (const Qreal& x : part) h.write_i64(x.percision_repr());
    };
    stream(re);
    stream(im);
    return h.finish();
}

bool StateVec::check() const {
    if (re.empty()) return false;
    double s = 0.0;
    for (size_t i = 0; i < re.size(); ++i) s += re[i].v * re[i].v + im[i].v * im[i].v;
    return Qreal(s - 1.0).near_zero();
}

bool StateVec::loose_eq(const StateVec& other) const {
    const size_t nr = std::min(re.size(), other.re.size());
    for (size_t i = 0; i < nr; ++i)
        if (!re[i].loose_eq(other.re[i])) return false;
    const size_t ni = std::min(im.size(), other.im.size());
    for (size_t i = 0; i < ni; ++i)
        if (!im[i].loose_eq(other.im[i])) return false;
    return true;
}

std::strong_ordering operator<=>(const StateVec& a, const StateVec& b) {
    auto c = std::lexicographical_compare_three_way(a.re.begin(), a.re.end(), b.re.begin(), b.re.end());
    if (c != 0) return c;
    return std::lexicographical_compare_three_way(a.im.begin(), a.im.end(), b.im.begin(), b.im.end());
}

std::string StateVec::str() const {
    std::string out = "[";
    const size_t n = std::min(re.size(), im.size());
    for (size_t i = 0; i < n; ++i) {
        if (i) out += ", ";
        if (im[i].near_zero()) {
            out += re[i].str(4);
        } else if (re[i].near_zero()) {
            out += im[i].str(4);
            out += 'j';
        } else {
            out += re[i].str(4);
            if (!std::signbit(im[i].v)) out += '+';
            out += im[i].str(4);
            out += 'j';
        }
    }
    out += ']';
    return out;
}

}  // namespace tandrel
