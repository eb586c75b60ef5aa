// Identities derived from equivalence classes: for every further member c of a class, the inverse of the first
// member followed by c is the identity; its canonical form over rotations and relabellings is what the prover
// works with, and the pair (inverse of the first member, c) is its witness.
#pragma once

#include <tuple>
#include <vector>

#include "circuit/circ.h"
#include "identity/identity_circ.h"
#include "search/eccs.h"

namespace tandrel {

/// (canonical identity, inverse of the class's first member, the other member).
using ClassIdentity = std::tuple<IdentityCirc, Circ, Circ>;

/// The identities of every class, sorted stably by (identity, first circuit, second circuit). One-member classes
/// give none; an empty class is an index failure.
std::vector<ClassIdentity> to_identity_circuits(const ECCs& eccs);

}  // namespace tandrel
