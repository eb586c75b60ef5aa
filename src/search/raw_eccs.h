// The raw table of the search: circuits filed into buckets by the 64-bit key of their evaluation, each with the
// pair of qubit permutations that places it in its bucket's common frame, and the breadth-first search drivers
// that fill it.
//
// A stored circuit is one triple (12 bytes) and one 8-byte list cell: its instructions are the cell's
// instruction followed by the list of the class representative it extends. The cells live in an arena that
// the table holds through a shared pointer, so that a table made from this one (the same circuits under
// another evaluator) can share them; the cells are freed when the last table holding the arena goes, whatever
// order the tables are dropped in, and a search that fails part way frees everything it made.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "circuit/instr.h"
#include "core/alias_list.h"
#include "core/permutation.h"
#include "core/small_vec.h"
#include "core/u64_map.h"
#include "search/eccs.h"
#include "search/evaluator.h"

namespace tandrel {

/// The cells of the stored circuits of a table.
using InstrArena = AliasArena<Instr32>;
/// A stored circuit's instructions, last instruction first.
using InstrList = AliasList<Instr32>;

/// Calls `f(instr)` for every surface gate of the instructions [first, last) in that scan order: an instruction
/// is a surface gate when no instruction before it in the scan touches any of its qubits. Scanning forward gives
/// the gates that commute to the circuit's start, scanning backward (reverse iterators) those that commute to
/// its end. Qubits must be below 8.
template <class It, class F>
void circuit_get_surface_gates(It first, It last, F&& f) {
    uint8_t mask = 0;
    for (It it = first; it != last; ++it) {
        const Instr32 instr = *it;
        const uint8_t m = instr.arg_mask();
        if ((mask & m) == 0) f(instr);
        mask |= m;
    }
}

/// One stored circuit of a bucket, in the bucket's frame: it stands for its instructions in circuit order
/// relabelled by `front_perm`⁻¹, followed by the qubit permutation `back_perm`·`front_perm`.
struct CircTriple {
    /// The input-side placement.
    Permut32 front_perm;
    /// The circuit's instructions, last instruction first, unrelabelled.
    InstrList circ;
    /// The output-side placement.
    Permut32 back_perm;

    /// The circuit the triple stands for: (instructions relabelled by `front_perm`⁻¹, `back_perm`·`front_perm`).
    std::pair<std::vector<Instr32>, Permut32> simplify(const InstrArena& arena) const;

    /// The simplified instructions joined with " ", a blank, and the trailing permutation: "h(0) cx(0, 1) (0 1)".
    std::string str(const InstrArena& arena) const;
    /// `front_perm`, the stored instructions in circuit order (not relabelled) and `back_perm`, blank-separated.
    std::string debug(const InstrArena& arena) const;
};
static_assert(sizeof(CircTriple) == 12, "a triple is two permutations and a list index");

/// One bucket: the circuits the evaluator found equivalent, first the one that opened it.
struct CircuitECC {
    /// The length of the circuit that opened the bucket (lengths fit 32 bits: a table holds at most 2^32 cells).
    uint32_t size = 0;
    /// Front surface gates of every stored circuit relabelled by the inverse of its `front_perm`, in insertion
    /// order, without duplicates.
    LinearSet<Instr32, 2> front_gates;
    /// Back surface gates of every stored circuit relabelled by its `back_perm`.
    LinearSet<Instr32, 2> back_gates;
    /// The stored circuits in insertion order.
    SmallVec<CircTriple, 1> circuits;

    /// The bucket of the empty circuit: size 0, no surface gates, one triple (identity, nil, identity) on
    /// `nqubits` points; more than 8 points fails as `Permut32::identity`.
    static CircuitECC root(size_t nqubits);

    /// "CircuitECC {" followed by the triples' display forms joined with ", " and "}".
    std::string str(const InstrArena& arena) const;
    /// "CircuitECC { size: 1, front_gates: {h(0)}, back_gates: {h(0)}, circuits: [(0) h(0) (0)] }".
    std::string debug(const InstrArena& arena) const;

    /// The bucket as a class: its triples' circuits sorted by (length, instructions, permutation), then the
    /// qubits renumbered so that the first member's are 0 .. k-1 in the order of their old indices.
    ECC simplify(const InstrArena& arena) const;
};

/// The three counters of a search: circuits explored (taken from the queue), circuits evaluated, and
/// insertions (one per evaluated circuit and placement).
using SearchCounters = std::array<size_t, 3>;

/// How a search runs the evaluations of the popped circuits' extensions. The circuits at the front of the queue
/// are evaluated in batches, on the pool or on the calling thread; the insertions happen in the sequential order
/// either way, so tables, counters and progress lines do not depend on these settings.
struct SearchOptions {
    /// Whether batches may run on the parallel pool (which is used only when it has more than one thread).
    enum class Threads { sequential, pool };
    Threads threads = Threads::pool;
    /// Evaluations per batch on the pool: tens of milliseconds of work, since a parallel section costs a wake-up
    /// of the workers, which on a busy machine can take a scheduler time slice.
    size_t batch_evaluations = 32768;
    /// Batches of fewer evaluations run on the calling thread.
    size_t pool_min_evaluations = 2048;
    /// Called on the calling thread after every progress line; whatever it throws ends the search (the Python
    /// layer checks for pending signals here, so that Ctrl-C stops a long search).
    std::function<void()> on_progress;
};

/// The raw table: buckets by evaluation key.
struct RawECCs {
    /// Buckets under the 64-bit evaluation key; the order is the order of insertion and carries no meaning.
    U64Map<CircuitECC> inner;
    /// The evaluator's qubit count.
    size_t nqubits = 0;
    /// Whether this table made the cells of its lists (set by the searches). Only such a table may free them
    /// one by one (`free_cells`); otherwise they belong to the table it was made from.
    bool drop = false;
    /// The cells of the lists of every triple; shared with copies of the table and the tables made from it.
    std::shared_ptr<InstrArena> arena = std::make_shared<InstrArena>();

    /// A table holding the bucket of the empty circuit under the evaluator's key for it.
    static RawECCs make(const Evaluator& evaluator);

    /// Files the circuit `instr_vec` (non-empty, in circuit order, qubits below 8) under `hash_value` with the
    /// placement (`front_perm`, `back_perm`); `circ` is the stored list of `instr_vec` without its last
    /// instruction. A circuit that begins with a front gate or ends with a back gate of an existing bucket (in
    /// the bucket's frame) is dropped without changing anything; otherwise it is stored with one new cell. Returns
    /// the new list when the circuit opened a bucket, and nothing when it joined one or was dropped.
    std::optional<InstrList> add_entry(uint64_t hash_value, Permut32 front_perm, Permut32 back_perm, InstrList circ,
                                       std::span<const Instr32> instr_vec);

    /// Frees the first cell of every triple's list, which frees every cell of the table exactly once, and
    /// returns how many were freed. The lists are unusable afterwards. Only for a table that made its cells
    /// ("assertion failed: self.drop") and is the only holder of its arena ("assertion failed: the arena is not
    /// shared").
    size_t free_cells();

    /// Number of stored circuits over all buckets.
    size_t triple_count() const;

    /// Every bucket as a class (`CircuitECC::simplify`), the classes sorted.
    ECCs simplify() const;
    /// The class of a circuit's key, each member expressed in the frame of the circuit; nothing when the key
    /// has no bucket.
    std::optional<ECC> find_equivalents(const Evaluator& evaluator, std::span<const Instr32> instrs) const;
    /// The key of the representative of `current_key`'s bucket extended by `instr`, when this table has it.
    std::optional<uint64_t> compute_next_key(const Evaluator& evaluator, uint64_t current_key, Instr32 instr) const;
    /// Every stored circuit re-filed under another evaluator. The result shares this table's cells (and keeps
    /// them alive); its surface-gate sets are empty.
    RawECCs switch_evaluator(const Evaluator& evaluator) const;

    /// Breadth-first search over `instrs` up to `max_size` instructions with the evaluator's canonical key,
    /// filing every circuit once per placement the evaluator returns. Prints a progress line to standard
    /// output every 400 explored circuits.
    static std::pair<RawECCs, SearchCounters> search(const Evaluator& evaluator, std::vector<Instr32> instrs,
                                                     size_t max_size, const SearchOptions& options = {});
    /// The same search keyed by the plain state of each circuit applied to the evaluator's backtrack state, with
    /// identity placements: circuits differing by a qubit relabelling land in different buckets.
    static std::pair<RawECCs, SearchCounters> search_naive(const Evaluator& evaluator, std::vector<Instr32> instrs,
                                                           size_t max_size, const SearchOptions& options = {});
    /// `search` over every placement of the gates (adjoints added) on the evaluator's qubits.
    static std::pair<RawECCs, SearchCounters> generate(const Evaluator& evaluator, std::vector<Gate16> gates,
                                                       size_t max_size, const SearchOptions& options = {});
    /// `search_naive` over the same instructions as `generate`.
    static std::pair<RawECCs, SearchCounters> generate_naive(const Evaluator& evaluator, std::vector<Gate16> gates,
                                                             size_t max_size, const SearchOptions& options = {});
};

/// The instructions of the generators: the gates with their missing adjoints appended, sorted stably by (qubit
/// count, handle), each placed on every qubit (one-qubit gates) or every ordered pair of distinct qubits
/// (two-qubit gates) of `nqubits`, then sorted stably by largest qubit. A gate of another arity fails "Only 1
/// and 2 qubit instructions are supported".
std::vector<Instr32> generator_instrs(std::vector<Gate16> gates, size_t nqubits);

}  // namespace tandrel
