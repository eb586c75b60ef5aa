#include "state/kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <mutex>
#include <utility>
#include <vector>

#include "core/panic.h"
#include "state/indices.h"

namespace tandrel {

namespace {

constexpr double SQRT1_2 = 0.7071067811865476;

/// Fails as an out-of-range index when a qubit argument is not below the state's qubit count.
inline void check_qubits(const StateVec& s, const uint8_t* qargs, size_t nq) {
    const uint32_t n = s.nqubits();
    for (size_t j = 0; j < nq; ++j)
        if (qargs[j] >= n) [[unlikely]]
            panic_index(s.len(), qargs[j] < 64 ? size_t(1) << qargs[j] : SIZE_MAX, std::source_location::current());
}

inline void check_arity(size_t nq, size_t want) {
    if (nq != want) [[unlikely]]
        panic("called `Result::unwrap()` on an `Err` value: TryFromSliceError(())");
}

/// Calls f(i0, i1) for the index pairs of a one-qubit operation on qubit p (qubit p clear in i0, set in i1), in
/// increasing order of the base index.
template <class F>
inline void for_pairs(StateVec& s, const uint8_t* qargs, size_t nq, F&& f) {
    check_arity(nq, 1);
    check_qubits(s, qargs, 1);
    const size_t step = size_t(1) << qargs[0];
    const size_t len = s.len();
    for (size_t hi = 0; hi < len; hi += 2 * step)
        for (size_t i0 = hi; i0 < hi + step; ++i0) f(i0, i0 + step);
}

/// Calls f(base) for the base indices of a two-qubit operation, in increasing order.
template <class F>
inline void for_bases2(StateVec& s, const uint8_t* qargs, size_t nq, F&& f) {
    check_arity(nq, 2);
    check_qubits(s, qargs, 2);
    const uint8_t lo = std::min(qargs[0], qargs[1]), hi = std::max(qargs[0], qargs[1]);
    const size_t count = s.len() >> 2;
    for (size_t i = 0; i < count; ++i) f(insert_bit(insert_bit(i, lo), hi));
}

void perform_h_gate(StateVec& s, const uint8_t* q, size_t nq) {
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for_pairs(s, q, nq, [=](size_t a, size_t b) {
        const double ar = re[a].v, br = re[b].v, ai = im[a].v, bi = im[b].v;
        re[a].v = (ar + br) * SQRT1_2;
        re[b].v = (ar - br) * SQRT1_2;
        im[a].v = (ai + bi) * SQRT1_2;
        im[b].v = (ai - bi) * SQRT1_2;
    });
}

void perform_x_gate(StateVec& s, const uint8_t* q, size_t nq) {
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for_pairs(s, q, nq, [=](size_t a, size_t b) {
        std::swap(re[a], re[b]);
        std::swap(im[a], im[b]);
    });
}

void perform_z_gate(StateVec& s, const uint8_t* q, size_t nq) {
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for_pairs(s, q, nq, [=](size_t, size_t b) {
        re[b].v = -re[b].v;
        im[b].v = -im[b].v;
    });
}

/// a1 := a1 * (cr + ci i), as re' = re*cr - im*ci, im' = im*cr + re*ci.
template <class Scale>
void phase_kernel(StateVec& s, const uint8_t* q, size_t nq, Scale scale) {
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for_pairs(s, q, nq, [=](size_t, size_t b) { scale(re[b].v, im[b].v); });
}

void perform_s_gate(StateVec& s, const uint8_t* q, size_t nq) {
    phase_kernel(s, q, nq, [](double& r, double& i) {
        const double r0 = r, i0 = i;
        r = r0 * 0.0 - i0;
        i = i0 * 0.0 + r0;
    });
}

void perform_sdg_gate(StateVec& s, const uint8_t* q, size_t nq) {
    phase_kernel(s, q, nq, [](double& r, double& i) {
        const double r0 = r, i0 = i;
        r = r0 * -0.0 + i0;
        i = i0 * -0.0 - r0;
    });
}

void perform_t_gate(StateVec& s, const uint8_t* q, size_t nq) {
    phase_kernel(s, q, nq, [](double& r, double& i) {
        const double r0 = r, i0 = i;
        r = r0 * SQRT1_2 - i0 * SQRT1_2;
        i = i0 * SQRT1_2 + r0 * SQRT1_2;
    });
}

void perform_tdg_gate(StateVec& s, const uint8_t* q, size_t nq) {
    phase_kernel(s, q, nq, [](double& r, double& i) {
        const double r0 = r, i0 = i;
        r = r0 * SQRT1_2 + i0 * SQRT1_2;
        i = i0 * SQRT1_2 - r0 * SQRT1_2;
    });
}

void perform_cx_gate(StateVec& s, const uint8_t* q, size_t nq) {
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for_bases2(s, q, nq, [=](size_t base) {
        // local 2 = control set; local 3 = control and target set
        const size_t l2 = base | (size_t(1) << q[0]), l3 = l2 | (size_t(1) << q[1]);
        std::swap(re[l2], re[l3]);
        std::swap(im[l2], im[l3]);
    });
}

void perform_swap_gate(StateVec& s, const uint8_t* q, size_t nq) {
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for_bases2(s, q, nq, [=](size_t base) {
        const size_t l1 = base | (size_t(1) << q[1]), l2 = base | (size_t(1) << q[0]);
        std::swap(re[l1], re[l2]);
        std::swap(im[l1], im[l2]);
    });
}

}  // namespace

GateFuncs GateFuncs::build() {
    GateFuncs t;
    const std::pair<Gate16, GateKernel> entries[] = {
        {H, perform_h_gate},     {X, perform_x_gate},     {Z, perform_z_gate},
        {S, perform_s_gate},     {SDG, perform_sdg_gate}, {T, perform_t_gate},
        {TDG, perform_tdg_gate}, {CX, perform_cx_gate},   {SWAP, perform_swap_gate},
    };
    for (auto [g, k] : entries) {
        check(g.raw < SIZE, "built-in handle < GATE_FUNCS size");
        t.kernels[g.raw] = k;
    }
    return t;
}

namespace {

template <size_t K>
void multiply_k(StateVec& s, const uint8_t* qargs, const DenseMatrix& m) {
    constexpr size_t D = size_t(1) << K;
    std::array<Qcomplex, D * D> mat;
    for (size_t r = 0; r < D; ++r)
        for (size_t c = 0; c < D; ++c) mat[r * D + c] = m(r, c);
    std::array<uint8_t, K> sorted;
    std::copy(qargs, qargs + K, sorted.begin());
    std::sort(sorted.begin(), sorted.end());
    std::array<size_t, D> offsets;
    for (size_t l = 0; l < D; ++l) offsets[l] = local_offset(l, qargs, K);
    const size_t count = s.len() >> K;
    const size_t len = s.len();
    Qreal* re = s.re.data();
    Qreal* im = s.im.data();
    for (size_t i = 0; i < count; ++i) {
        const size_t base = base_index(i, sorted.data(), K);
        std::array<Qcomplex, D> a;
        for (size_t l = 0; l < D; ++l) {
            const size_t idx = base | offsets[l];
            check_index(idx, len);
            a[l] = {re[idx], im[idx]};
        }
        for (size_t r = 0; r < D; ++r) {
            double br = 0.0, bi = 0.0;
            for (size_t c = 0; c < D; ++c) {
                const Qcomplex e = mat[r * D + c];
                br += e.re.v * a[c].re.v - e.im.v * a[c].im.v;
                bi += e.re.v * a[c].im.v + e.im.v * a[c].re.v;
            }
            const size_t idx = base | offsets[r];
            re[idx].v = br;
            im[idx].v = bi;
        }
    }
}

struct StateVecCache {
    std::vector<StateVec> entries;
};
thread_local StateVecCache STATE_VEC_CACHE;

}  // namespace

void multiply(StateVec& s, const uint8_t* qargs, size_t nq, const DenseMatrix& m) {
    switch (nq) {
        case 1:
            check(m.nrows == 2 && m.ncols == 2, "matrix.nrows() == 2 && matrix.ncols() == 2");
            return multiply_k<1>(s, qargs, m);
        case 2:
            check(m.nrows == 4 && m.ncols == 4, "matrix.nrows() == 4 && matrix.ncols() == 4");
            return multiply_k<2>(s, qargs, m);
        case 3:
            check(m.nrows == 8 && m.ncols == 8, "matrix.nrows() == 8 && matrix.ncols() == 8");
            return multiply_k<3>(s, qargs, m);
        default:
            panic("Unsupported number of qubits: " + std::to_string(nq));
    }
}

void apply_dense(StateVec& s, Gate16 g, const uint8_t* qargs, size_t nq) {
    g.matrix([&](const DenseMatrix& m) { multiply(s, qargs, nq, m); });
}

void reserve_state_vec_cache(uint32_t n) {
    auto& e = STATE_VEC_CACHE.entries;
    while (e.size() <= n) e.push_back(StateVec::zeros(uint32_t(e.size())));
}

namespace {
/// dst[perm.permut_bv(i)] := src[i] for both parts; `dst` already has `src`'s length.
void scatter(Qreal* dst_re, Qreal* dst_im, const Qreal* src_re, const Qreal* src_im, size_t len, Permut32 perm) {
    // dest[i] = dest[i without its lowest bit] | image of the lowest bit: one OR per amplitude.
    const uint32_t n = perm.len();
    uint8_t image[Permut32::MAX_LEN];
    for (uint32_t q = 0; q < n; ++q) image[q] = uint8_t(1u << perm.at(q));
    uint8_t dest[256];
    dest[0] = 0;
    dst_re[0] = src_re[0];
    dst_im[0] = src_im[0];
    for (size_t i = 1; i < len; ++i) {
        const size_t d = dest[i & (i - 1)] | image[std::countr_zero(i)];
        dest[i] = uint8_t(d);
        dst_re[d] = src_re[i];
        dst_im[d] = src_im[i];
    }
}
}  // namespace

void permute_into(StateVec& dst, const StateVec& src, Permut32 perm) {
    check(perm.len() == src.nqubits(), "perm.len() == self.nqubits()");
    const size_t len = src.len();
    if (perm.is_identity()) {
        dst.re.assign(src.re.begin(), src.re.end());
        dst.im.assign(src.im.begin(), src.im.end());
        return;
    }
    dst.re.resize(len);
    dst.im.resize(len);
    scatter(dst.re.data(), dst.im.data(), src.re.data(), src.im.data(), len, perm);
}

void apply_permutation(StateVec& s, Permut32 perm) {
    const uint32_t n = s.nqubits();
    check(perm.len() == n, "perm.len() == self.nqubits()");
    auto& cache = STATE_VEC_CACHE.entries;
    check_index(n, cache.size());
    // The identity moves nothing: the state already holds the result.
    if (perm.is_identity()) return;
    StateVec& scratch = cache[n];
    scatter(scratch.re.data(), scratch.im.data(), s.re.data(), s.im.data(), s.len(), perm);
    std::swap(s.re, scratch.re);
    std::swap(s.im, scratch.im);
}

}  // namespace tandrel
