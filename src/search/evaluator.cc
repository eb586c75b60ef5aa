#include "search/evaluator.h"

#include <algorithm>

#include "core/panic.h"
#include "state/kernels.h"
#include "state/order_info.h"

namespace tandrel {

namespace {
/// Copies `src` into `dst` without reallocating when the sizes already agree.
void assign(StateVec& dst, const StateVec& src) {
    dst.re.assign(src.re.begin(), src.re.end());
    dst.im.assign(src.im.begin(), src.im.end());
}

inline void apply_instr(StateVec& s, Gate16 g, QArgs16 q) { apply_gate(s, g, q.data(), q.len()); }
}  // namespace

void apply_instrs(StateVec& s, std::span<const Instr32> instrs) {
    for (const Instr32& i : instrs) apply_instr(s, i.gate, i.qargs);
}

void apply_adjoint_instrs(StateVec& s, std::span<const Instr32> instrs) {
    for (auto it = instrs.rbegin(); it != instrs.rend(); ++it) apply_instr(s, it->gate.adjoint(), it->qargs);
}

Evaluator Evaluator::from_random(Rng& rng, uint32_t n) {
    check(n <= MAX_QUBITS, "n <= 8");
    Evaluator e;
    e.initial_state = StateVec::from_random_symmetric(rng, n);
    e.backtrack_state = StateVec::from_random(rng, n);
    e.backtrack_state.normalize_arg();
    const Permut32 p = get_permutation(e.backtrack_state);
    reserve_state_vec_cache(n);
    apply_permutation(e.backtrack_state, p.inv());
    return e;
}

EvalScratch& Evaluator::thread_scratch() {
    thread_local EvalScratch scratch;
    return scratch;
}

void Evaluator::evaluate_into(std::span<const Instr32> instrs, EvalScratch& out) const {
    const uint32_t n = nqubits();
    reserve_state_vec_cache(n);
    assign(out.forward, initial_state);
    apply_instrs(out.forward, instrs);
    out.forward.normalize_arg();
    backtrack_into(instrs, out);
}

void Evaluator::evaluate_extension_into(const StateVec& prefix_forward, std::span<const Instr32> instrs,
                                        EvalScratch& out) const {
    check(!instrs.empty(), "!instrs.empty()");
    reserve_state_vec_cache(nqubits());
    assign(out.forward, prefix_forward);
    apply_instrs(out.forward, instrs.last(1));
    out.forward.normalize_arg();
    backtrack_into(instrs, out);
}

void Evaluator::backtrack_into(std::span<const Instr32> instrs, EvalScratch& out) const {
    out.pairs.clear();
    // Every candidate runs the same backward circuit; its adjoint handles are looked up once.
    out.adjoints.clear();
    for (auto it = instrs.rbegin(); it != instrs.rend(); ++it) out.adjoints.push_back({it->gate.adjoint(), it->qargs});
    bool have_best = false;
    get_orderinfo(out.forward).for_each_perm([&](Permut32 t) {
        const Permut32 u = t.inv();
        StateVec& q = out.candidate;
        permute_into(q, backtrack_state, t);
        apply_instrs(q, out.adjoints);
        q.normalize_arg();
        const auto [b, mask] = get_orderinfo(q).as_bits();
        if (mask != 0) panic("Non-deterministic front permutation detected during evaluation");
        apply_permutation(q, b.inv());
        const auto order = have_best ? (q <=> out.best) : std::strong_ordering::less;
        if (order < 0) {
            std::swap(out.best.re, q.re);
            std::swap(out.best.im, q.im);
            out.pairs.clear();
            out.pairs.emplace_back(b, u);
            have_best = true;
        } else if (order == 0) {
            out.pairs.emplace_back(b, u);
        }
    });
}

uint64_t Evaluator::initial_key() const {
    EvalScratch& s = thread_scratch();
    evaluate_into({}, s);
    return s.best.hash_value();
}

}  // namespace tandrel
