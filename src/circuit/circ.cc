#include "circuit/circ.h"

#include <algorithm>
#include <array>
#include <span>

#include "core/fmt.h"
#include "core/panic.h"

namespace tandrel {

namespace {

[[noreturn]] void panic_invariant() { panic("Permutation length must be greater than the max qubit index."); }

/// Whether `instrs` and a permutation of length `n` satisfy the circuit invariant.
bool fits(std::span<const Instr32> instrs, uint8_t n) {
    for (const Instr32& i : instrs)
        if (i.qargs.len() != 0 && i.largest_qubit() >= n) return false;
    return true;
}

/// `perm` cut to the points 0 .. m when m + 1 is below its length (all points above m are then fixed, so the
/// images of 0 .. m are the restriction).
Permut32 restrict_to(Permut32 perm, uint32_t m) {
    if (m + 1 >= perm.len()) return perm;
    return Permut32{(perm.raw & Permut32::entries_mask(m + 1)) | ((m + 1) << Permut32::LEN_SHIFT)};
}

/// The largest point below the length (at most 8 of them are stored) that `perm` moves, or -1.
int largest_moved(Permut32 perm) {
    const uint32_t n = std::min<uint32_t>(perm.len(), Permut32::MAX_LEN);
    for (uint32_t i = n; i-- > 0;)
        if (perm.at(i) != i) return int(i);
    return -1;
}

// ---- the canonical-form search --------------------------------------------------------------------------------
//
// The canonical forms try every relabelling (and, for identities, every rotation that starts on qubit 0) and keep
// the least candidate. Candidates are never built as circuits: an instruction is one word whose unsigned order is
// the instruction order (first qubit byte, second qubit byte, gate handle), each candidate is written into a
// per-thread buffer, sorted there, and compared with the best word by word; its compacted permutation is only
// computed when its instructions are not greater than the best's. Before sorting, the word the sort will bring to
// the front is found in one pass, and a candidate whose front is greater than the best's front is dropped unsorted.
//
// The search runs on circuits that have been through `remove_swaps` (and so through `make`): every qubit present
// is below the qubit count n, which is at most 8.

inline uint32_t order_key(Instr32 i) {
    return (uint32_t(i.qargs.raw[0]) << 24) | (uint32_t(i.qargs.raw[1]) << 16) | i.gate.raw;
}

inline Instr32 key_instr(uint32_t k) {
    return Instr32{Gate16{uint16_t(k & 0xFFFF)}, QArgs16{{uint8_t(k >> 24), uint8_t(k >> 16)}}};
}

/// `Instr32::arg_mask` of the instruction of a word.
inline uint32_t key_mask(uint32_t k) {
    const uint32_t q0 = k >> 24, q1 = (k >> 16) & 0xFF;
    if (q0 == QArgs16::NONE) return 0;
    return (1u << (q0 & 7)) | (q1 == QArgs16::NONE ? 0u : 1u << (q1 & 7));
}

/// The largest qubit present in the instruction of a word, or -1.
inline int key_largest(uint32_t k) {
    const int q0 = int(k >> 24), q1 = int((k >> 16) & 0xFF);
    if (q0 == QArgs16::NONE) return -1;
    return q1 == QArgs16::NONE ? q0 : std::max(q0, q1);
}

/// The images of the points 0 .. 7 under a permutation, points at or beyond its length fixed.
struct Relabel {
    std::array<uint8_t, Permut32::MAX_LEN> image;

    explicit Relabel(Permut32 p) {
        const uint32_t n = std::min<uint32_t>(p.len(), Permut32::MAX_LEN);
        for (uint32_t q = 0; q < Permut32::MAX_LEN; ++q)
            image[q] = uint8_t(q < n ? (p.raw >> (Permut32::ENTRY_BITS * q)) & Permut32::ENTRY_MASK : q);
    }
    /// The word of the relabelled instruction (`Instr32::apply_permutation`); present qubits are below 8.
    uint32_t operator()(uint32_t k) const {
        const uint32_t q0 = k >> 24, q1 = (k >> 16) & 0xFF;
        if (q0 == QArgs16::NONE) return k;
        const uint32_t n1 = q1 == QArgs16::NONE ? q1 : image[q1];
        return (uint32_t(image[q0]) << 24) | (n1 << 16) | (k & 0xFFFF);
    }
};

/// `reorder_instrs` on words.
void reorder_keys(uint32_t* k, size_t len) {
    for (size_t i = 1; i < len; ++i) {
        const uint32_t x = k[i];
        const uint32_t mask = key_mask(x);
        size_t j = i;
        while (j > 0 && (key_mask(k[j - 1]) & mask) == 0 && x < k[j - 1]) {
            k[j] = k[j - 1];
            --j;
        }
        k[j] = x;
    }
}

/// Follows the words of a candidate one by one and tells which `reorder_keys` will leave in front: an element
/// reaches the front exactly when it is less than, and disjoint from, every element before it, and the last one
/// to do so stays there.
class FrontTracker {
  public:
    explicit FrontTracker(uint32_t first) : front_(first), least_(first), seen_(key_mask(first)) {}

    void add(uint32_t x) {
        const uint32_t m = key_mask(x);
        if (x < least_ && (m & seen_) == 0) front_ = x;
        least_ = std::min(least_, x);
        seen_ |= m;
    }
    uint32_t front() const { return front_; }

  private:
    uint32_t front_, least_, seen_;
};

uint32_t front_after_reorder(const uint32_t* k, size_t len) {
    FrontTracker t(k[0]);
    for (size_t j = 1; j < len; ++j) t.add(k[j]);
    return t.front();
}

/// `compact_qubits` of a candidate: its permutation cut to the largest qubit used or moved.
Permut32 compact_perm(Permut32 perm, const uint32_t* k, size_t len) {
    int m = largest_moved(perm);
    for (size_t j = 0; j < len; ++j) m = std::max(m, key_largest(k[j]));
    return m < 0 ? perm : restrict_to(perm, uint32_t(m));
}

struct CanonScratch {
    std::vector<uint32_t> relabelled, wrapped, candidate, best;

    void reserve(size_t len) {
        for (auto* v : {&relabelled, &wrapped, &candidate, &best})
            if (v->size() < len) v->resize(len);
    }
};

thread_local CanonScratch CANON_SCRATCH;

/// The least candidate so far: its words (in the scratch's `best`), compacted permutation and relabelling.
class BestCandidate {
  public:
    BestCandidate(CanonScratch& scratch, size_t len, bool by_relabelling)
        : scratch_(scratch), len_(len), by_relabelling_(by_relabelling) {}

    /// Whether a candidate whose sorted front is `front` may still be the least.
    bool may_win(uint32_t front) const { return !found_ || front <= scratch_.best[0]; }

    /// Sorts the scratch's `candidate` and keeps it when it is less than the best; `perm` is the candidate's
    /// permutation before compaction.
    void offer(Permut32 perm, Permut32 s) {
        uint32_t* cand = scratch_.candidate.data();
        reorder_keys(cand, len_);
        int order = -1;
        if (found_) {
            const uint32_t* best = scratch_.best.data();
            size_t j = 0;
            while (j < len_ && cand[j] == best[j]) ++j;
            if (j < len_)
                order = cand[j] < best[j] ? -1 : 1;
            else
                order = 0;
        }
        if (order > 0) return;
        const Permut32 p = compact_perm(perm, cand, len_);
        if (order == 0) {
            if (p > perm_) return;
            if (p == perm_ && !(by_relabelling_ && s < s_)) return;
        }
        std::swap(scratch_.candidate, scratch_.best);
        perm_ = p;
        s_ = s;
        found_ = true;
    }

    bool found() const { return found_; }
    Permut32 relabelling() const { return s_; }
    Circ circuit() const {
        std::vector<Instr32> instrs(len_);
        for (size_t j = 0; j < len_; ++j) instrs[j] = key_instr(scratch_.best[j]);
        return Circ::from_parts(std::move(instrs), perm_);
    }

  private:
    CanonScratch& scratch_;
    size_t len_;
    bool by_relabelling_;
    bool found_ = false;
    Permut32 perm_;
    Permut32 s_;
};

std::pair<Circ, Permut32> least_relabelling(const Circ& circ, bool by_relabelling) {
    Circ c = circ.compact_qubits().remove_swaps();
    if (c.is_empty()) return {std::move(c), Permut32{}};
    const size_t len = c.len();
    const Permut32 p = c.perm;
    CanonScratch& scratch = CANON_SCRATCH;
    scratch.reserve(len);
    BestCandidate best(scratch, len, by_relabelling);
    for (const Permut32 s : Permut32::all(p.len())) {
        const Relabel by_s(s);
        uint32_t* cand = scratch.candidate.data();
        for (size_t j = 0; j < len; ++j) cand[j] = by_s(order_key(c.instrs[j]));
        if (!best.may_win(front_after_reorder(cand, len))) continue;
        best.offer((s * p) * s.inv(), s);
    }
    return {best.circuit(), best.relabelling()};
}

}  // namespace

// ---- construction and queries ---------------------------------------------------------------------------------

Circ Circ::make(std::vector<Instr32> instrs, Permut32 perm) {
    if (!fits(instrs, perm.len())) panic_invariant();
    return Circ{std::move(instrs), perm};
}

Circ Circ::new_no_perm(std::vector<Instr32> instrs) {
    int m = -1;
    for (const Instr32& i : instrs)
        if (i.qargs.len() != 0) m = std::max(m, int(i.largest_qubit()));
    if (m >= Permut32::MAX_LEN) detail::panic_permutation_length();
    const Permut32 perm = Permut32::identity(uint8_t(m + 1));
    return Circ{std::move(instrs), perm};
}

std::optional<uint8_t> Circ::affected_qubits() const {
    int m = largest_moved(perm);
    for (const Instr32& i : instrs)
        if (i.qargs.len() != 0) m = std::max(m, int(i.largest_qubit()));
    if (m < 0) return std::nullopt;
    return uint8_t(m);
}

Instr32 Circ::at(int64_t idx) const {
    if (instrs.empty()) panic("attempt to calculate the remainder with a divisor of zero");
    const auto len = int64_t(instrs.size());
    int64_t r = idx % len;
    if (r < 0) r += len;
    return instrs[size_t(r)];
}

// ---- transformations ------------------------------------------------------------------------------------------

Circ Circ::compact_qubits() const {
    if (instrs.empty()) return *this;
    const std::optional<uint8_t> m = affected_qubits();
    if (!m) return *this;
    return Circ{instrs, restrict_to(perm, *m)};
}

Circ Circ::reorder_instrs() const {
    Circ out = *this;
    auto& v = out.instrs;
    for (size_t i = 1; i < v.size(); ++i) {
        for (size_t j = i; j > 0; --j) {
            if (!v[j].disjoint(v[j - 1]) || !(v[j] < v[j - 1])) break;
            std::swap(v[j], v[j - 1]);
        }
    }
    return out;
}

Circ Circ::permut(Permut32 s) const {
    const auto [p, t] = coordinate_permute(perm, s);
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (const Instr32& i : instrs) out.push_back(i.apply_permutation(t));
    return make(std::move(out), (t * p) * t.inv());
}

Circ Circ::remove_swaps() const {
    const uint8_t n = perm.len();
    // The wire map: a kept instruction on qubit q acts on wire w[q]; a SWAP exchanges two entries.
    Permut32 w = Permut32::identity(n);
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (const Instr32& i : instrs) {
        if (i.gate == SWAP.get()) {
            if (i.qargs.len() < 2) panic("Index out of bounds");
            const uint8_t a = i.qargs.raw[0], b = i.qargs.raw[1];
            check_index(a, n);
            check_index(b, n);
            const uint8_t wa = w.at(a), wb = w.at(b);
            w.set(a, wb);
            w.set(b, wa);
            continue;
        }
        Instr32 kept = i;
        for (size_t k = 0; k < i.qargs.len(); ++k) {
            check_index(i.qargs.raw[k], n);
            kept.qargs.raw[k] = w.at(i.qargs.raw[k]);
        }
        out.push_back(kept);
    }
    return make(std::move(out), perm * w.inv());
}

Circ Circ::inverse() const {
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (auto it = instrs.rbegin(); it != instrs.rend(); ++it) out.push_back(it->adjoint().apply_permutation(perm));
    return make(std::move(out), perm.inv());
}

Circ Circ::rotate(int64_t n) const {
    if (n == 0) return *this;
    const size_t len = instrs.size();
    // The magnitude of n as unsigned, also for the most negative value.
    const uint64_t k = n > 0 ? uint64_t(n) : uint64_t(0) - uint64_t(n);
    if (k > len)
        panic("range start index " + std::to_string(k) + " out of range for slice of length " + std::to_string(len));
    std::vector<Instr32> out;
    out.reserve(len);
    if (n > 0) {
        const Permut32 back = perm.inv();
        out.insert(out.end(), instrs.begin() + ptrdiff_t(k), instrs.end());
        for (size_t j = 0; j < k; ++j) out.push_back(instrs[j].apply_permutation(back));
    } else {
        for (size_t j = len - k; j < len; ++j) out.push_back(instrs[j].apply_permutation(perm));
        out.insert(out.end(), instrs.begin(), instrs.end() - ptrdiff_t(k));
    }
    return make(std::move(out), perm);
}

Circ Circ::add(const Circ& other) const {
    const auto [p1, p2] = coordinate_permute(perm, other.perm);
    const Permut32 back = p1.inv();
    std::vector<Instr32> out;
    out.reserve(instrs.size() + other.instrs.size());
    out.insert(out.end(), instrs.begin(), instrs.end());
    for (const Instr32& i : other.instrs) out.push_back(i.apply_permutation(back));
    return make(std::move(out), p2 * p1);
}

std::vector<Instr32> Circ::instrs_with_swaps() const {
    std::vector<Instr32> out = instrs;
    for (const Transposition t : perm.generate_swaps()) out.push_back(Instr32{SWAP.get(), QArgs16{{t.a, t.b}}});
    return out;
}

// ---- canonical forms ------------------------------------------------------------------------------------------

Circ Circ::representative() const { return least_relabelling(*this, false).first; }

std::pair<Circ, Permut32> Circ::representative_with_perm() const { return least_relabelling(*this, true); }

Circ Circ::rotation_canonical() const {
    Circ c = compact_qubits().remove_swaps();
    if (c.is_empty()) return c;
    const size_t len = c.len();
    const Permut32 p = c.perm;
    const Permut32 p_inv = p.inv();
    CanonScratch& scratch = CANON_SCRATCH;
    scratch.reserve(len);
    BestCandidate best(scratch, len, false);
    for (const Permut32 s : Permut32::all(p.len())) {
        // d = c.permut(s) has the permutation s P s⁻¹; d.rotate(i) relabels d's first i instructions by its
        // inverse, which on c's instructions is s P⁻¹ s⁻¹ after s, that is s P⁻¹.
        const Relabel by_s(s), by_s_back(s * p_inv);
        uint32_t* rel = scratch.relabelled.data();
        uint32_t* wrap = scratch.wrapped.data();
        for (size_t j = 0; j < len; ++j) {
            const uint32_t k = order_key(c.instrs[j]);
            rel[j] = by_s(k);
            wrap[j] = by_s_back(k);
        }
        const Permut32 d_perm = (s * p) * s.inv();
        for (size_t i = 0; i < len; ++i) {
            if ((key_mask(rel[i]) & 1u) == 0) continue;  // the rotation must start on qubit 0
            // The candidate is rel[i ..] followed by wrap[.. i]; only one that may win is copied out and sorted.
            FrontTracker front(rel[i]);
            for (size_t j = i + 1; j < len; ++j) front.add(rel[j]);
            for (size_t j = 0; j < i; ++j) front.add(wrap[j]);
            if (!best.may_win(front.front())) continue;
            uint32_t* cand = scratch.candidate.data();
            std::copy(rel + i, rel + len, cand);
            std::copy(wrap, wrap + i, cand + (len - i));
            best.offer(d_perm, s);
        }
    }
    if (!best.found()) panic("called `Option::unwrap()` on a `None` value");
    return best.circuit();
}

// ---- display, hash, order -------------------------------------------------------------------------------------

std::string Circ::str() const {
    std::string out = "Circuit { ";
    for (const Instr32& i : instrs) {
        out += i.str();
        out += ' ';
    }
    out += perm.str();
    out += " }";
    return out;
}

std::string Circ::debug() const {
    std::string out = "Circ { instrs: [";
    fjoin(out, instrs.begin(), instrs.end(), ", ");
    out += "], perm: ";
    out += perm.str();
    out += " }";
    return out;
}

void Circ::hash_into(SipHasher13& h) const {
    h.write_u64(instrs.size());
    for (const Instr32& i : instrs) i.hash_into(h);
    perm.hash_into(h);
}

std::strong_ordering operator<=>(const Circ& a, const Circ& b) {
    if (auto c = a.instrs.size() <=> b.instrs.size(); c != 0) return c;
    for (size_t j = 0; j < a.instrs.size(); ++j)
        if (auto c = a.instrs[j] <=> b.instrs[j]; c != 0) return c;
    return a.perm <=> b.perm;
}

}  // namespace tandrel
