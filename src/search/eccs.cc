#include "search/eccs.h"

#include <algorithm>

#include "circuit/gate.h"
#include "core/fmt.h"
#include "core/panic.h"
#include "core/rng.h"
#include "search/evaluator.h"
#include "state/state_vec.h"

namespace tandrel {

std::strong_ordering operator<=>(const EccMember& a, const EccMember& b) {
    auto c = std::lexicographical_compare_three_way(a.instrs.begin(), a.instrs.end(), b.instrs.begin(), b.instrs.end());
    if (c != 0) return c;
    return a.perm.raw <=> b.perm.raw;
}

bool shorter_member_first(const EccMember& a, const EccMember& b) {
    if (a.instrs.size() != b.instrs.size()) return a.instrs.size() < b.instrs.size();
    return (a <=> b) < 0;
}

std::strong_ordering operator<=>(const ECC& a, const ECC& b) {
    return std::lexicographical_compare_three_way(a.members.begin(), a.members.end(), b.members.begin(),
                                                  b.members.end());
}

std::vector<Instr32> with_swaps(const std::vector<Instr32>& instrs, Permut32 p) {
    std::vector<Instr32> out = instrs;
    for (Transposition t : p.generate_swaps()) out.push_back(Instr32::make(SWAP, {t.a, t.b}));
    return out;
}

std::vector<std::vector<Instr32>> ECC::circuits() const {
    check_index(0, members.size());
    const Permut32 unit = members[0].perm.inv();
    std::vector<std::vector<Instr32>> out;
    out.reserve(members.size());
    for (const EccMember& m : members) out.push_back(with_swaps(m.instrs, unit * m.perm));
    return out;
}

ECC ECC::simplify_permute() const {
    check_index(0, members.size());
    const Permut32 unit = members[0].perm.inv();
    ECC out = *this;
    for (EccMember& m : out.members) m.perm = unit * m.perm;
    return out;
}

std::string ECC::str() const {
    std::string out = "ECC {\n";
    for (const auto& c : circuits()) {
        out += '\t';
        fjoin(out, c.begin(), c.end(), " ");
        out += ",\n";
    }
    out += '}';
    return out;
}

std::string ECCs::str() const {
    std::string out;
    bool first = true;
    for (const ECC& e : eccs) {
        if (e.members.size() < 2) continue;
        if (!first) out += " & ";
        first = false;
        out += e.str();
    }
    return out;
}

std::vector<ECC> ECCs::check() const {
    Rng rng = Rng::from_os();
    const StateVec start = StateVec::from_random(rng, static_cast<uint32_t>(nqubits));
    std::vector<ECC> failing;
    for (const ECC& e : eccs) {
        bool have = false, agree = true;
        uint64_t first = 0;
        for (const auto& c : e.circuits()) {
            StateVec s = start;
            apply_instrs(s, c);
            s.normalize_arg();
            const uint64_t h = s.hash_value();
            if (!have) {
                first = h;
                have = true;
            } else if (h != first) {
                agree = false;
            }
        }
        if (!agree) failing.push_back(e);
    }
    return failing;
}

ECCs ECCs::filter_single() const {
    ECCs out;
    out.nqubits = nqubits;
    for (const ECC& e : eccs)
        if (e.members.size() > 1) out.eccs.push_back(e);
    return out;
}

}  // namespace tandrel
