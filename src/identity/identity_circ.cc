#include "identity/identity_circ.h"

#include <array>
#include <cstdint>

#include "core/fmt.h"
#include "core/panic.h"
#include "core/rng.h"
#include "search/evaluator.h"
#include "state/kernels.h"
#include "state/state_vec.h"

namespace tandrel {

namespace {

/// The two states of a check, reused by every check on the thread so that checking does not allocate.
struct CheckScratch {
    StateVec a;
    StateVec b;
};

thread_local CheckScratch CHECK_SCRATCH;

/// Resizes `s` to `len` amplitudes (allocating only when it grows).
void resize(StateVec& s, size_t len) {
    s.re.resize(len);
    s.im.resize(len);
}

/// An entry of a next/previous-gate list that no scan has filled yet.
constexpr size_t UNFILLED = SIZE_MAX;

/// The index lists of `qargs_forward` and `qargs_backward`: scans the rotated circuit at the positions `order`
/// yields (rotated position and the unrotated index it holds) and fills, for every qubit argument of `target`,
/// the first index whose instruction uses it.
template <class Order>
std::vector<size_t> first_users(const IdentityCirc& id, const Circ& rotated, Instr32 target, Order order) {
    std::vector<size_t> out(target.qargs.len(), UNFILLED);
    size_t unfilled = out.size();
    const size_t len = rotated.len();
    for (size_t step = 0; step < len && unfilled != 0; ++step) {
        const auto [position, index] = order(step);
        for (uint8_t q : rotated.instrs[position].qargs) {
            const std::optional<size_t> slot = target.position_of_qubit(q);
            if (slot && out[*slot] == UNFILLED) {
                out[*slot] = index;
                --unfilled;
            }
        }
    }
    if (unfilled != 0) {
        std::string message = id.str();
        message += " [";
        fjoin(message, out.begin(), out.end(), ", ");
        message += ']';
        panic(std::move(message));
    }
    return out;
}

}  // namespace

IdentityCirc IdentityCirc::unchecked(Circ c) {
    IdentityCirc id{std::move(c)};
    id.check();
    return id;
}

bool IdentityCirc::check() const {
    const Permut32 p = circ.perm;
    // The state permutation below writes where the permutation's entries point: refuse words that are not a
    // permutation of the qubit count (only values read back without checks can hold one).
    tandrel::check(p.is_valid(), "perm.is_valid()");
    const uint32_t n = p.len();
    const size_t len = circ.len();
    const size_t half = len / 2;
    const std::span<const Instr32> instrs(circ.instrs);

    Rng rng = Rng::from_os();
    CheckScratch& scratch = CHECK_SCRATCH;
    StateVec& a = scratch.a;
    StateVec& b = scratch.b;
    // The random construction of a state, drawn into the thread's scratch: uniform parts, then the norm and
    // the phase canonicalised.
    const size_t dim = StateVec::len_for(n);
    resize(a, dim);
    for (Qreal& x : a.re) x = rng.uniform();
    for (Qreal& x : a.im) x = rng.uniform();
    a.normalize();
    b.re.assign(a.re.begin(), a.re.end());
    b.im.assign(a.im.begin(), a.im.end());

    apply_instrs(a, instrs.first(half));
    a.normalize_arg();

    reserve_state_vec_cache(n);
    apply_permutation(b, p.inv());
    apply_adjoint_instrs(b, instrs.subspan(half));
    b.normalize_arg();

    if (!a.loose_eq(b)) panic("IdentityCirc: circuit is not identity " + a.str() + " " + b.str() + " " + circ.str());
    return true;
}

uint64_t IdentityCirc::hash_value() const {
    SipHasher13 h;
    h.write_u32(uint32_t(circ.instrs.size()));
    for (const Instr32& i : circ.instrs) {
        h.write_u16(i.gate.raw);
        h.write_u32(2);
        h.write(i.qargs.raw.data(), QArgs16::MAX_LEN);
    }
    h.write_u32(circ.perm.raw);
    return h.finish();
}

std::vector<size_t> IdentityCirc::qargs_forward(size_t gate_id) const {
    const size_t len = circ.len();
    check_index(gate_id, len);
    const Instr32 target = circ.instrs[gate_id];
    // Instructions gate_id + 1 .. len - 1 first, then 0 .. gate_id relabelled through the inverse permutation.
    const Circ rotated = circ.rotate(int64_t(gate_id + 1));
    tandrel::check(rotated.len() == len, "rotated.len() == self.len()");
    tandrel::check(rotated.instrs[len - 1].gate == target.gate, "rotated[len - 1].gate == self[gate_id].gate");
    tandrel::check(rotated.instrs[0].gate == circ.instrs[(gate_id + 1) % len].gate,
                   "rotated[0].gate == self[(gate_id + 1) % len].gate");
    return first_users(*this, rotated, target,
                       [&](size_t t) { return std::pair<size_t, size_t>{t, (t + gate_id + 1) % len}; });
}

std::vector<size_t> IdentityCirc::qargs_backward(size_t gate_id) const {
    const size_t len = circ.len();
    check_index(gate_id, len);
    const Instr32 target = circ.instrs[gate_id];
    // Instructions gate_id .. len - 1 first, then 0 .. gate_id - 1 relabelled; scanned from the last position.
    const Circ rotated = circ.rotate(int64_t(gate_id));
    tandrel::check(rotated.len() == len, "rotated.len() == self.len()");
    tandrel::check(rotated.instrs[0].gate == target.gate, "rotated[0].gate == self[gate_id].gate");
    tandrel::check(rotated.instrs[len - 1].gate == circ.instrs[(gate_id + len - 1) % len].gate,
                   "rotated[len - 1].gate == self[(gate_id + len - 1) % len].gate");
    return first_users(*this, rotated, target,
                       [&](size_t i) { return std::pair<size_t, size_t>{len - 1 - i, (gate_id + len - 1 - i) % len}; });
}

std::string IdentityCirc::str() const {
    std::string out = "Identity { ";
    for (const Instr32& i : circ.instrs) {
        out += i.str();
        out += ' ';
    }
    out += circ.perm.str();
    out += " }";
    return out;
}

std::string IdentityCirc::debug() const { return "IdentityCirc(" + circ.debug() + ")"; }

IdentityCirc rotate_representative(const Circ& c) { return IdentityCirc::unchecked(c.rotation_canonical()); }

std::span<const std::vector<uint8_t>> combinations(size_t n) {
    using Entry = std::vector<std::vector<uint8_t>>;
    static const std::array<Entry, COMBINATIONS_LEN> COMBINATIONS = [] {
        std::array<Entry, COMBINATIONS_LEN> table;
        for (size_t m = 0; m < COMBINATIONS_LEN; ++m) {
            const size_t top = std::min(m / 2 + 1, m);
            for (size_t k = 0; k <= top; ++k) {
                // Subsets of size k in lexicographic order: advance the last member that can still move.
                std::vector<uint8_t> subset(k);
                for (size_t j = 0; j < k; ++j) subset[j] = uint8_t(j);
                while (true) {
                    table[m].push_back(subset);
                    size_t j = k;
                    while (j > 0 && subset[j - 1] == m - k + (j - 1)) --j;
                    if (j == 0) break;
                    ++subset[j - 1];
                    for (size_t t = j; t < k; ++t) subset[t] = uint8_t(subset[t - 1] + 1);
                }
            }
        }
        return table;
    }();
    check_index(n, COMBINATIONS_LEN);
    return COMBINATIONS[n];
}

}  // namespace tandrel
