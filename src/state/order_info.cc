#include "state/order_info.h"

#include <mutex>
#include <vector>

#include "core/panic.h"

namespace tandrel {

OrderInfo OrderInfo::make(size_t n) {
    check(n <= Permut32::MAX_LEN, "n <= 8");
    OrderInfo o;
    o.n = uint8_t(n);
    for (size_t i = 0; i < n; ++i) o.permut[i] = uint8_t(i);
    o.eq_classes[0] = uint8_t(n);
    o.nclasses = 1;
    return o;
}

namespace {
// Written out: the array operators compare through a library call (memcmp for equality).
inline bool key_less(const QubitKey& a, const QubitKey& b) {
    if (a[0] != b[0]) return a[0] < b[0];
    if (a[1] != b[1]) return a[1] < b[1];
    if (a[2] != b[2]) return a[2] < b[2];
    return a[3] < b[3];
}
inline bool key_eq(const QubitKey& a, const QubitKey& b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}
}  // namespace

void OrderInfo::sort_eqclass_by_key(size_t c, const QubitKey* keys) {
    check_index(c, nclasses);
    const size_t start = c == 0 ? 0 : eq_classes[c - 1];
    const size_t end = eq_classes[c];
    // Stable insertion sort: classes hold at most 8 qubits.
    for (size_t i = start + 1; i < end; ++i) {
        const uint8_t q = permut[i];
        size_t j = i;
        while (j > start && key_less(keys[q], keys[permut[j - 1]])) {
            permut[j] = permut[j - 1];
            --j;
        }
        permut[j] = q;
    }
    size_t cls = c;
    for (size_t pos = start + 1; pos < end; ++pos) {
        if (!key_eq(keys[permut[pos]], keys[permut[pos - 1]])) {
            // A new class ends at `pos`; it goes before the entry of the class being split, which keeps its end.
            for (size_t k = nclasses; k > cls; --k) eq_classes[k] = eq_classes[k - 1];
            eq_classes[cls] = uint8_t(pos);
            ++nclasses;
            ++cls;
        }
    }
}

std::pair<Permut32, uint8_t> OrderInfo::as_bits() const {
    if (n < 2) return {Permut32::identity(n), 0};
    Permut32 b{uint32_t(n) << Permut32::LEN_SHIFT};
    for (size_t k = 0; k < n; ++k) b.raw |= uint32_t(permut[k]) << (Permut32::ENTRY_BITS * k);
    uint8_t starts = 1;  // bit k: a class starts at sorted position k
    for (size_t c = 0; c + 1 < nclasses; ++c) starts |= uint8_t(1u << eq_classes[c]);
    uint8_t mask = 0;
    for (size_t k = 1; k < n; ++k)
        if (!(starts & (1u << k))) mask |= uint8_t(1u << (k - 1));
    return {b, mask};
}

std::span<const Permut32> eqmask_to_perms(size_t mask) {
    static constexpr size_t ROWS = size_t(1) << (Permut32::MAX_LEN - 1);
    static std::vector<Permut32> table[ROWS];
    static std::once_flag once;
    check_index(mask, ROWS);
    std::call_once(once, [] {
        std::span<const Permut32> all = Permut32::all(Permut32::MAX_LEN);
        for (size_t m = 0; m < ROWS; ++m) {
            uint8_t run[Permut32::MAX_LEN];
            run[0] = 0;
            for (size_t j = 0; j + 1 < Permut32::MAX_LEN; ++j) run[j + 1] = (m >> j) & 1 ? run[j] : uint8_t(j + 1);
            for (Permut32 p : all) {
                bool keeps_runs = true;
                for (size_t i = 0; i < Permut32::MAX_LEN && keeps_runs; ++i) keeps_runs = run[p.at(i)] == run[i];
                if (keeps_runs) table[m].push_back(p);
            }
        }
    });
    return table[mask];
}

namespace {
void qubit_keys(const StateVec& s, QubitKey* keys, size_t n) {
    const size_t last = s.len() - 1;
    for (size_t q = 0; q < n; ++q) {
        const size_t lo = size_t(1) << q, hi = last - lo;
        keys[q] = {s.re[lo].percision_repr(), s.im[lo].percision_repr(), s.re[hi].percision_repr(),
                   s.im[hi].percision_repr()};
    }
}
}  // namespace

OrderInfo get_orderinfo(const StateVec& s) {
    const size_t n = s.nqubits();
    OrderInfo o = OrderInfo::make(n);
    QubitKey keys[Permut32::MAX_LEN];
    qubit_keys(s, keys, n);
    o.sort_eqclass_by_key(0, keys);
    return o;
}

Permut32 get_permutation(const StateVec& s) { return get_orderinfo(s).as_bits().first; }

}  // namespace tandrel
