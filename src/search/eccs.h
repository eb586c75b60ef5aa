// Finished equivalence classes: each class is a list of members (a circuit followed by a trailing qubit
// permutation), all equivalent to each other; a collection holds the classes of one qubit count.
#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <vector>

#include "circuit/instr.h"
#include "core/permutation.h"

namespace tandrel {

/// One member of a class: apply `instrs` in order, then relabel the qubits by `perm`.
struct EccMember {
    std::vector<Instr32> instrs;
    Permut32 perm;

    friend bool operator==(const EccMember&, const EccMember&) = default;
    /// Instructions lexicographically, then the permutation by its packed value.
    friend std::strong_ordering operator<=>(const EccMember& a, const EccMember& b);
};

/// The order of members within a simplified class: length first, then as `operator<=>`.
bool shorter_member_first(const EccMember& a, const EccMember& b);

/// The instructions of a circuit followed by one SWAP for every transposition that sorts `p`.
std::vector<Instr32> with_swaps(const std::vector<Instr32>& instrs, Permut32 p);

/// One equivalence class. After simplification the first member is a shortest one.
struct ECC {
    std::vector<EccMember> members;

    /// Every member's circuit with its permutation, relative to the first member's, made into SWAP gates.
    std::vector<std::vector<Instr32>> circuits() const;
    /// The same members with every permutation taken relative to the first member's (which becomes the identity).
    ECC simplify_permute() const;
    /// "ECC {\n" then "\t<circuit>,\n" per member, then "}".
    std::string str() const;

    friend bool operator==(const ECC&, const ECC&) = default;
    /// Lexicographic over the member lists (a proper prefix orders first).
    friend std::strong_ordering operator<=>(const ECC& a, const ECC& b);
};

/// The classes of one qubit count.
struct ECCs {
    std::vector<ECC> eccs;
    size_t nqubits = 0;

    size_t len() const { return eccs.size(); }
    /// Classes of at least two members joined with " & " (one-member classes are skipped).
    std::string str() const;
    /// Copies of the classes whose circuits disagree on one fresh random state (drawn from the OS).
    std::vector<ECC> check() const;
    /// A new collection of the classes with more than one member.
    ECCs filter_single() const;

    friend bool operator==(const ECCs&, const ECCs&) = default;
};

}  // namespace tandrel
