#include "search/raw_eccs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>

#include "core/fmt.h"
#include "core/panic.h"
#include "core/parallel.h"
#include "state/kernels.h"

namespace tandrel {

// ---------------------------------------------------------------------------------------------------------------
// Triples and buckets

std::pair<std::vector<Instr32>, Permut32> CircTriple::simplify(const InstrArena& arena) const {
    std::vector<Instr32> instrs;
    arena.append_in_order(circ, instrs);
    const Permut32 front_inv = front_perm.inv();
    for (Instr32& i : instrs) i = i.apply_permutation(front_inv);
    return {std::move(instrs), back_perm * front_perm};
}

std::string CircTriple::str(const InstrArena& arena) const {
    const auto [instrs, perm] = simplify(arena);
    std::string out;
    fjoin(out, instrs.begin(), instrs.end(), " ");
    out += ' ';
    out += perm.str();
    return out;
}

std::string CircTriple::debug(const InstrArena& arena) const {
    std::vector<Instr32> instrs;
    arena.append_in_order(circ, instrs);
    std::string out = front_perm.str();
    out += ' ';
    fjoin(out, instrs.begin(), instrs.end(), " ");
    out += ' ';
    out += back_perm.str();
    return out;
}

CircuitECC CircuitECC::root(size_t nqubits) {
    // Counts above 8 are capped at 9 so that they fail as too long rather than wrap around.
    const Permut32 id = Permut32::identity(uint8_t(std::min<size_t>(nqubits, Permut32::MAX_LEN + 1)));
    CircuitECC b;
    b.circuits.push_back(CircTriple{id, InstrList::nil(), id});
    return b;
}

std::string CircuitECC::str(const InstrArena& arena) const {
    std::string out = "CircuitECC {";
    for (size_t i = 0; i < circuits.size(); ++i) {
        if (i) out += ", ";
        out += circuits[i].str(arena);
    }
    out += '}';
    return out;
}

std::string CircuitECC::debug(const InstrArena& arena) const {
    std::string out = "CircuitECC { size: ";
    out += std::to_string(size);
    out += ", front_gates: {";
    fjoin(out, front_gates.begin(), front_gates.end(), ", ");
    out += "}, back_gates: {";
    fjoin(out, back_gates.begin(), back_gates.end(), ", ");
    out += "}, circuits: [";
    for (size_t i = 0; i < circuits.size(); ++i) {
        if (i) out += ", ";
        out += circuits[i].debug(arena);
    }
    out += "] }";
    return out;
}

// ---------------------------------------------------------------------------------------------------------------
// The table

RawECCs RawECCs::make(const Evaluator& evaluator) {
    RawECCs t;
    t.nqubits = evaluator.nqubits();
    CircuitECC root = CircuitECC::root(t.nqubits);
    t.inner.try_emplace(evaluator.initial_key(), std::move(root));
    return t;
}

namespace {
/// Surface gates of one circuit side, relabelled into a bucket's frame. Surface gates touch pairwise disjoint
/// qubits, so there are at most 8 of them.
struct SurfaceGates {
    std::array<Instr32, 8> gates;
    size_t len = 0;

    void push(Instr32 g) {
        check_index(len, gates.size());
        gates[len++] = g;
    }
    const Instr32* begin() const { return gates.data(); }
    const Instr32* end() const { return gates.data() + len; }
};
}  // namespace

std::optional<InstrList> RawECCs::add_entry(uint64_t hash_value, Permut32 front_perm, Permut32 back_perm,
                                            InstrList circ, std::span<const Instr32> instr_vec) {
    if (instr_vec.empty()) [[unlikely]]
        panic("called `Option::unwrap()` on a `None` value");
    const Instr32 instr = instr_vec.back();

    SurfaceGates fronts, backs;
    const Permut32 front_inv = front_perm.inv();
    circuit_get_surface_gates(instr_vec.begin(), instr_vec.end(),
                              [&](Instr32 g) { fronts.push(g.apply_permutation(front_inv)); });
    circuit_get_surface_gates(instr_vec.rbegin(), instr_vec.rend(),
                              [&](Instr32 g) { backs.push(g.apply_permutation(back_perm)); });

    if (CircuitECC* bucket = inner.find(hash_value)) {
        // Both tests are decided before anything changes, so a dropped circuit leaves no trace.
        for (Instr32 g : backs)
            if (bucket->back_gates.contains(g)) return std::nullopt;
        for (Instr32 g : fronts)
            if (bucket->front_gates.contains(g)) return std::nullopt;
        const InstrList list = arena->cons(circ, instr);
        for (Instr32 g : fronts) bucket->front_gates.insert(g);
        for (Instr32 g : backs) bucket->back_gates.insert(g);
        bucket->circuits.push_back(CircTriple{front_perm, list, back_perm});
        return std::nullopt;
    }

    const InstrList list = arena->cons(circ, instr);
    CircuitECC bucket;
    bucket.size = uint32_t(instr_vec.size());
    for (Instr32 g : fronts) bucket.front_gates.insert(g);
    for (Instr32 g : backs) bucket.back_gates.insert(g);
    bucket.circuits.push_back(CircTriple{front_perm, list, back_perm});
    inner.try_emplace(hash_value, std::move(bucket));
    return list;
}

size_t RawECCs::free_cells() {
    check(drop, "self.drop");
    check(arena.use_count() == 1, "the arena is not shared");
    size_t freed = 0;
    for (auto& e : inner)
        for (const CircTriple& t : e.value.circuits) {
            if (t.circ.is_nil()) continue;
            arena->del(t.circ);
            ++freed;
        }
    return freed;
}

size_t RawECCs::triple_count() const {
    size_t n = 0;
    for (const auto& e : inner) n += e.value.circuits.size();
    return n;
}

// ---------------------------------------------------------------------------------------------------------------
// Search drivers

namespace {

/// A progress line is printed for every this many explored circuits.
constexpr size_t PROGRESS_EVERY = 400;
/// The most popped circuits of one batch.
constexpr size_t MAX_BATCH = 4096;
constexpr size_t NONE = SIZE_MAX;

/// The evaluations of the one-instruction extensions of one popped circuit: the circuit in circuit order, and
/// per instruction of the search its key and its placements. Kept from batch to batch, so that the buffers are
/// reused.
struct Extensions {
    std::vector<Instr32> circuit;
    std::vector<uint64_t> keys;
    /// End of each instruction's placements in `pairs`.
    std::vector<uint32_t> pair_end;
    std::vector<PermPair> pairs;
    /// The instruction whose evaluation failed, with the failure; NONE when all succeeded.
    size_t failed_at = NONE;
    std::exception_ptr error;
};

/// The forward state of the popped circuit, per thread.
StateVec& thread_prefix() {
    thread_local StateVec prefix;
    return prefix;
}

/// Evaluates the extensions with the evaluator's canonical key (all placements).
struct CanonicalKeys {
    const Evaluator& evaluator;

    void operator()(std::span<const Instr32> instrs, Extensions& x, size_t& at) const {
        StateVec& prefix = thread_prefix();
        EvalScratch& scratch = Evaluator::thread_scratch();
        prefix = evaluator.initial_state;
        apply_instrs(prefix, x.circuit);
        for (size_t j = 0; j < instrs.size(); ++j) {
            at = j;
            x.circuit.push_back(instrs[j]);
            evaluator.evaluate_extension_into(prefix, x.circuit, scratch);
            x.circuit.pop_back();
            x.keys[j] = scratch.best.hash_value();
            x.pairs.insert(x.pairs.end(), scratch.pairs.begin(), scratch.pairs.end());
            x.pair_end[j] = uint32_t(x.pairs.size());
        }
    }
};

/// Evaluates the extensions by the plain state of the circuit applied to the backtrack state (identity
/// placements).
struct PlainKeys {
    const Evaluator& evaluator;
    PermPair identity;

    void operator()(std::span<const Instr32> instrs, Extensions& x, size_t& at) const {
        StateVec& prefix = thread_prefix();
        StateVec& state = Evaluator::thread_scratch().forward;
        reserve_state_vec_cache(evaluator.nqubits());
        prefix = evaluator.backtrack_state;
        apply_instrs(prefix, x.circuit);
        for (size_t j = 0; j < instrs.size(); ++j) {
            at = j;
            state = prefix;
            apply_instrs(state, instrs.subspan(j, 1));
            state.normalize_arg();
            x.keys[j] = state.hash_value();
            x.pairs.push_back(identity);
            x.pair_end[j] = uint32_t(x.pairs.size());
        }
    }
};

void print_progress(std::string& line, const SearchCounters& counters, std::span<const Instr32> circuit, size_t queued,
                    size_t buckets) {
    line.clear();
    line += '#';
    line += std::to_string(counters[0]);
    line += " Exploring ";
    fjoin(line, circuit.begin(), circuit.end(), " ");
    line += " (";
    line += std::to_string(queued);
    line += " queued, ";
    line += std::to_string(buckets);
    line += " ECCs, ";
    line += std::to_string(counters[1]);
    line += " circs, ";
    line += std::to_string(counters[2]);
    line += " circs perm)\n";
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0) {
        const int error = errno;
        std::clearerr(stdout);
        panic(std::string("failed printing to stdout: ") + std::strerror(error));
    }
}

/// The breadth-first loop shared by both searches. The evaluations of a batch of circuits at the front of the
/// queue run first (on the pool, or on this thread); then the circuits are popped and their extensions filed
/// one by one in the sequential order, and a failed evaluation is re-thrown where the sequential run would
/// have met it. Nothing the evaluations read changes while they run: the queue and the arena only change in
/// the filing phase.
template <class Keys>
std::pair<RawECCs, SearchCounters> run_search(const Evaluator& evaluator, std::span<const Instr32> instrs,
                                              size_t max_size, const SearchOptions& options, const Keys& keys) {
    RawECCs map = RawECCs::make(evaluator);
    std::deque<InstrList> queue{InstrList::nil()};
    SearchCounters counters{0, 0, 0};
    std::string line;

    const bool pool = options.threads == SearchOptions::Threads::pool && pool_threads() > 1 && !instrs.empty();
    const size_t max_batch =
        pool ? std::clamp<size_t>(options.batch_evaluations / std::max<size_t>(instrs.size(), 1), 1, MAX_BATCH) : 1;
    // Grown as the queue grows, so that small searches make few buffers.
    std::vector<Extensions> batch;

    while (!queue.empty()) {
        const size_t count = std::min(queue.size(), max_batch);
        while (batch.size() < count) {
            Extensions& x = batch.emplace_back();
            x.keys.resize(instrs.size());
            x.pair_end.resize(instrs.size());
        }
        // Circuits after a failed one are never filed, so their evaluations are skipped.
        std::atomic<size_t> first_failure{NONE};
        auto evaluate = [&](size_t k) {
            if (k > first_failure.load(std::memory_order_relaxed)) return;
            Extensions& x = batch[k];
            x.circuit.clear();
            x.pairs.clear();
            x.failed_at = NONE;
            x.error = nullptr;
            map.arena->append_in_order(queue[k], x.circuit);
            const size_t len = x.circuit.size();
            size_t at = 0;
            try {
                keys(instrs, x, at);
            } catch (...) {
                // The progress line still shows the popped circuit, without the failed extension.
                x.circuit.resize(len);
                x.failed_at = at;
                x.error = std::current_exception();
                size_t seen = first_failure.load();
                while (k < seen && !first_failure.compare_exchange_weak(seen, k)) {
                }
            }
        };
        if (pool && count * instrs.size() >= options.pool_min_evaluations)
            parallel_for(count, evaluate);
        else
            for (size_t k = 0; k < count; ++k) evaluate(k);

        for (size_t k = 0; k < count; ++k) {
            const InstrList circ = queue.front();
            queue.pop_front();
            Extensions& x = batch[k];
            if (counters[0] % PROGRESS_EVERY == 0) {
                print_progress(line, counters, x.circuit, queue.size(), map.inner.size());
                if (options.on_progress) options.on_progress();
            }
            uint32_t begin = 0;
            for (size_t j = 0; j < instrs.size(); ++j) {
                if (j == x.failed_at) std::rethrow_exception(x.error);
                x.circuit.push_back(instrs[j]);
                const uint64_t key = x.keys[j];
                for (uint32_t p = begin; p < x.pair_end[j]; ++p) {
                    const auto [front, back] = x.pairs[p];
                    const std::optional<InstrList> opened = map.add_entry(key, front, back, circ, x.circuit);
                    if (opened && x.circuit.size() < max_size) queue.push_back(*opened);
                    ++counters[2];
                }
                begin = x.pair_end[j];
                x.circuit.pop_back();
                ++counters[1];
            }
            ++counters[0];
        }
    }
    map.drop = true;
    return {std::move(map), counters};
}

}  // namespace

std::pair<RawECCs, SearchCounters> RawECCs::search(const Evaluator& evaluator, std::vector<Instr32> instrs,
                                                   size_t max_size, const SearchOptions& options) {
    return run_search(evaluator, instrs, max_size, options, CanonicalKeys{evaluator});
}

std::pair<RawECCs, SearchCounters> RawECCs::search_naive(const Evaluator& evaluator, std::vector<Instr32> instrs,
                                                         size_t max_size, const SearchOptions& options) {
    const Permut32 id = Permut32::identity(uint8_t(evaluator.nqubits()));
    return run_search(evaluator, instrs, max_size, options, PlainKeys{evaluator, {id, id}});
}

std::pair<RawECCs, SearchCounters> RawECCs::generate(const Evaluator& evaluator, std::vector<Gate16> gates,
                                                     size_t max_size, const SearchOptions& options) {
    return search(evaluator, generator_instrs(std::move(gates), evaluator.nqubits()), max_size, options);
}

std::pair<RawECCs, SearchCounters> RawECCs::generate_naive(const Evaluator& evaluator, std::vector<Gate16> gates,
                                                           size_t max_size, const SearchOptions& options) {
    return search_naive(evaluator, generator_instrs(std::move(gates), evaluator.nqubits()), max_size, options);
}

std::vector<Instr32> generator_instrs(std::vector<Gate16> gates, size_t nqubits) {
    std::vector<Gate16> adjoints;
    adjoints.reserve(gates.size());
    for (Gate16 g : gates) adjoints.push_back(g.adjoint());
    for (Gate16 a : adjoints)
        if (std::find(gates.begin(), gates.end(), a) == gates.end()) gates.push_back(a);
    std::vector<std::pair<unsigned, Gate16>> keyed;
    keyed.reserve(gates.size());
    for (Gate16 g : gates) keyed.emplace_back(g.nqargs(), g);
    std::stable_sort(keyed.begin(), keyed.end());

    std::vector<Instr32> instrs;
    for (const auto& [nq, g] : keyed) {
        if (nq == 1) {
            for (size_t i = 0; i < nqubits; ++i) instrs.push_back(Instr32{g, QArgs16::from_iter({uint8_t(i)})});
        } else if (nq == 2) {
            for (size_t i = 0; i < nqubits; ++i)
                for (size_t j = 0; j < nqubits; ++j)
                    if (j != i) instrs.push_back(Instr32{g, QArgs16::from_iter({uint8_t(i), uint8_t(j)})});
        } else {
            panic("Only 1 and 2 qubit instructions are supported");
        }
    }
    std::stable_sort(instrs.begin(), instrs.end(),
                     [](Instr32 a, Instr32 b) { return a.largest_qubit() < b.largest_qubit(); });
    return instrs;
}

}  // namespace tandrel
