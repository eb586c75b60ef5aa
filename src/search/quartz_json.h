// Export of equivalence classes as a Quartz ECC-set JSON document. Quartz circuits carry no trailing
// permutation, so each member's permutation becomes SWAP gates relative to a pivot member; a class whose members
// carry several distinct permutations is written once per distinct pivot.
#pragma once

#include <string>
#include <vector>

#include "core/json.h"
#include "search/eccs.h"

namespace tandrel {

/// The exports of one class: for every pivot not already covered, the member circuits with their permutations
/// relative to the pivot's made into SWAP gates.
std::vector<std::vector<std::vector<Instr32>>> generate_ecc_with_swap(const ECC& ecc);

/// The circuit values of one export. Every header gives the width of the whole export (largest qubit used by
/// any of its instructions, plus 1), so that all circuits of a class share one qubit count.
Json ecc_to_json(const std::vector<std::vector<Instr32>>& circuits);

/// The whole document: [[[0],[0]], {"<class index in hex>_<export>": export, ...}].
Json as_quartz(const ECCs& eccs);

/// Builds the document, then writes it to `filepath` (created or truncated). Fails with FileError "Failed to
/// create file: ..." or FormatError "Failed to write JSON: ...".
void dump_quartz(const ECCs& eccs, const std::string& filepath);

}  // namespace tandrel
