// Reading a finished raw table: simplification of buckets into sorted, renumbered classes, look-ups of a
// circuit's class or of the next key, and re-filing under another evaluator.
#include <algorithm>

#include "core/panic.h"
#include "search/raw_eccs.h"

namespace tandrel {

namespace {
/// The key and the first placement of a circuit under an evaluator.
std::pair<uint64_t, PermPair> key_of(const Evaluator& evaluator, std::span<const Instr32> instrs) {
    EvalScratch& s = Evaluator::thread_scratch();
    evaluator.evaluate_into(instrs, s);
    return {s.best.hash_value(), s.pairs.front()};
}

std::vector<Instr32> in_order(const InstrArena& arena, InstrList list) {
    std::vector<Instr32> out;
    arena.append_in_order(list, out);
    return out;
}
}  // namespace

ECC CircuitECC::simplify(const InstrArena& arena) const {
    ECC out;
    out.members.reserve(circuits.size());
    for (const CircTriple& t : circuits) {
        auto [instrs, perm] = t.simplify(arena);
        out.members.push_back(EccMember{std::move(instrs), perm});
    }
    std::stable_sort(out.members.begin(), out.members.end(), shorter_member_first);
    check_index(0, out.members.size());
    const EccMember& first = out.members.front();
    uint8_t used = 0;
    for (const Instr32& i : first.instrs) used |= i.arg_mask();
    std::vector<uint8_t> set;
    for (uint8_t q = 0; q < 8; ++q)
        if (used & (1u << q)) set.push_back(q);
    const Permut32 uniform_inv = Permut32::from_iter_with_ext(first.perm.len(), set);
    const Permut32 uniform = uniform_inv.inv();
    for (EccMember& m : out.members) {
        for (Instr32& i : m.instrs) i = i.apply_permutation(uniform);
        m.perm = uniform * m.perm * uniform_inv;
    }
    return out;
}

ECCs RawECCs::simplify() const {
    ECCs out;
    out.nqubits = nqubits;
    out.eccs.reserve(inner.size());
    for (const auto& entry : inner) out.eccs.push_back(entry.value.simplify(*arena));
    std::stable_sort(out.eccs.begin(), out.eccs.end());
    return out;
}

std::optional<ECC> RawECCs::find_equivalents(const Evaluator& evaluator, std::span<const Instr32> instrs) const {
    const auto [key, placement] = key_of(evaluator, instrs);
    const CircuitECC* bucket = inner.find(key);
    if (!bucket) return std::nullopt;
    const Permut32 f_inv = placement.first.inv(), b_inv = placement.second.inv();
    ECC out;
    for (const CircTriple& t : bucket->circuits) {
        auto [members, perm] = CircTriple{t.front_perm * f_inv, t.circ, b_inv * t.back_perm}.simplify(*arena);
        out.members.push_back(EccMember{std::move(members), perm});
    }
    return out;
}

std::optional<uint64_t> RawECCs::compute_next_key(const Evaluator& evaluator, uint64_t current_key,
                                                  Instr32 instr) const {
    const CircuitECC* bucket = inner.find(current_key);
    if (!bucket) return std::nullopt;
    check_index(0, bucket->circuits.size());
    std::vector<Instr32> instrs = in_order(*arena, bucket->circuits[0].circ);
    instrs.push_back(instr);
    const uint64_t key = key_of(evaluator, instrs).first;
    if (!inner.find(key)) return std::nullopt;
    return key;
}

RawECCs RawECCs::switch_evaluator(const Evaluator& evaluator) const {
    RawECCs out = RawECCs::make(evaluator);
    out.arena = arena;  // the triples below point into this table's cells
    for (const auto& entry : inner) {
        const CircuitECC& bucket = entry.value;
        check_index(0, bucket.circuits.size());
        const std::vector<Instr32> first = in_order(*arena, bucket.circuits[0].circ);
        const uint64_t key = key_of(evaluator, first).first;
        CircuitECC moved;
        moved.size = uint32_t(first.size());
        for (const CircTriple& t : bucket.circuits) {
            const auto [k, placement] = key_of(evaluator, in_order(*arena, t.circ));
            if (k != key) panic("Inconsistent ECC detected during evaluator switch");
            moved.circuits.push_back(CircTriple{placement.first, t.circ, placement.second});
        }
        auto [slot, inserted] = out.inner.try_emplace(key, moved);
        if (!inserted) {
            if (slot->size != 0)
                panic("Hash collision detected during evaluator switch: " + slot->debug(*arena) + " vs " +
                      moved.debug(*arena));
            *slot = std::move(moved);
        }
    }
    return out;
}

}  // namespace tandrel
