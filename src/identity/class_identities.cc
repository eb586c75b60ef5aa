#include "identity/class_identities.h"

#include <algorithm>

#include "core/panic.h"

namespace tandrel {

std::vector<ClassIdentity> to_identity_circuits(const ECCs& eccs) {
    std::vector<ClassIdentity> out;
    for (const ECC& e : eccs.eccs) {
        check_index(0, e.members.size());
        const Circ first_inv = Circ::make(e.members[0].instrs, e.members[0].perm).inverse();
        for (size_t j = 1; j < e.members.size(); ++j) {
            Circ c = Circ::make(e.members[j].instrs, e.members[j].perm);
            out.emplace_back(rotate_representative(first_inv.add(c)), first_inv, std::move(c));
        }
    }
    std::stable_sort(out.begin(), out.end());
    return out;
}

}  // namespace tandrel
