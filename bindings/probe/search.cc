// Probe functions of the search: bucket contents of raw tables, direct insertion, surface gates, display forms,
// cell ownership, the sequential and pooled drivers, the key-indexed map, and C++-side timing of the
// evaluations a search makes.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "circuit/instr.h"
#include "conventions.h"
#include "core/small_vec.h"
#include "core/u64_map.h"
#include "permut32_caster.h"
#include "instr_list.h"
#include "probe/probe.h"
#include "search/evaluator.h"
#include "search/raw_eccs.h"

namespace nb = nanobind;

namespace tandrel::probe {

namespace {
using py::Obj;
using py::Read;
using py::U32;
using py::U64;
using py::Usize;
using py::Write;
using PyRawECCs = Obj<RawECCs>;

nb::list py_instrs(const Instr32* first, const Instr32* last) {
    nb::list out;
    for (const Instr32* i = first; i != last; ++i) out.append(Obj<Instr32>(*i));
    return out;
}
nb::list py_instrs(const std::vector<Instr32>& v) { return py_instrs(v.data(), v.data() + v.size()); }

const CircuitECC& bucket_of(const RawECCs& t, uint64_t key) {
    const CircuitECC* b = t.inner.find(key);
    if (!b) throw nb::key_error(std::to_string(key).c_str());
    return *b;
}

SearchOptions options_of(const std::string& threads, size_t batch_evaluations, size_t pool_min_evaluations) {
    SearchOptions o;
    if (threads == "sequential")
        o.threads = SearchOptions::Threads::sequential;
    else if (threads != "pool")
        throw nb::value_error("threads must be 'sequential' or 'pool'");
    if (batch_evaluations) o.batch_evaluations = batch_evaluations;
    if (pool_min_evaluations) o.pool_min_evaluations = pool_min_evaluations;
    return o;
}

nb::object to_python(std::pair<RawECCs, SearchCounters> result) {
    auto owned = std::make_unique<PyRawECCs>(std::move(result.first));
    nb::object table = nb::cast(owned.get(), nb::rv_policy::take_ownership);
    owned.release();
    return nb::make_tuple(table, std::vector<size_t>(result.second.begin(), result.second.end()));
}

/// Bytes the table holds: slots and entries of the map, heap blocks of the buckets' lists and sets, and the
/// arena's cells (every cell made, live or free).
size_t memory_bytes(const RawECCs& t) {
    size_t bytes = t.inner.memory_bytes();
    for (const auto& e : t.inner)
        bytes += e.value.circuits.heap_bytes() + e.value.front_gates.heap_bytes() + e.value.back_gates.heap_bytes();
    return bytes + t.arena->made_cells() * sizeof(AliasCons<Instr32>);
}

using Map = U64Map<uint32_t>;

volatile uint64_t sink;
}  // namespace

void probe_search(nb::module_& m) {
    // ---- bucket contents -----------------------------------------------------------------------------------
    // Buckets in map order as (key, size, front_gates, back_gates, [(front_perm, instrs, back_perm)]), the
    // instructions in circuit order and unrelabelled.
    m.def("raw_eccs_buckets", [](const PyRawECCs& table) {
        Read t(table);
        nb::list out;
        for (const auto& e : t->inner) {
            const CircuitECC& b = e.value;
            nb::list triples;
            for (const CircTriple& c : b.circuits) {
                std::vector<Instr32> instrs;
                t->arena->append_in_order(c.circ, instrs);
                triples.append(nb::make_tuple(c.front_perm, py_instrs(instrs), c.back_perm));
            }
            out.append(nb::make_tuple(e.key, b.size, py_instrs(b.front_gates.begin(), b.front_gates.end()),
                                      py_instrs(b.back_gates.begin(), b.back_gates.end()), triples));
        }
        return out;
    });
    // The list (its first cell's index) of every triple of the bucket under `key`.
    m.def("raw_eccs_lists", [](const PyRawECCs& table, U64 key) {
        Read t(table);
        std::vector<uint32_t> out;
        for (const CircTriple& c : bucket_of(*t, key).circuits) out.push_back(c.circ.index);
        return out;
    });
    // Every bucket's triples simplified: [(key, [(instrs, perm)])] in map order.
    m.def("raw_eccs_simplified", [](const PyRawECCs& table) {
        Read t(table);
        nb::list out;
        for (const auto& e : t->inner) {
            nb::list pairs;
            for (const CircTriple& c : e.value.circuits) {
                auto [instrs, perm] = c.simplify(*t->arena);
                pairs.append(nb::make_tuple(py_instrs(instrs), perm));
            }
            out.append(nb::make_tuple(e.key, pairs));
        }
        return out;
    });
    m.def("raw_eccs_info", [](const PyRawECCs& table) {
        Read t(table);
        nb::dict d;
        d["nqubits"] = t->nqubits;
        d["drop"] = t->drop;
        d["buckets"] = t->inner.size();
        d["triples"] = t->triple_count();
        d["live_cells"] = t->arena->live_cells();
        d["made_cells"] = t->arena->made_cells();
        d["arena_holders"] = size_t(t->arena.use_count());
        d["memory_bytes"] = memory_bytes(*t);
        return d;
    });
    m.def("raw_eccs_bucket_str", [](const PyRawECCs& table, U64 key) {
        Read t(table);
        return bucket_of(*t, key).str(*t->arena);
    });
    m.def("raw_eccs_bucket_debug", [](const PyRawECCs& table, U64 key) {
        Read t(table);
        return bucket_of(*t, key).debug(*t->arena);
    });
    m.def("raw_eccs_triple_str", [](const PyRawECCs& table, U64 key, Usize i) {
        Read t(table);
        return bucket_of(*t, key).circuits[i].str(*t->arena);
    });
    m.def("raw_eccs_triple_debug", [](const PyRawECCs& table, U64 key, Usize i) {
        Read t(table);
        return bucket_of(*t, key).circuits[i].debug(*t->arena);
    });
    // The triple (front_perm, stored instructions in circuit order, back_perm) simplified, in a scratch arena.
    m.def("circ_triple_simplify", [](Permut32 front, const std::vector<Obj<Instr32>>& instrs, Permut32 back) {
        InstrArena arena;
        InstrList list;
        for (Instr32 i : py::instrs_from_python(instrs)) list = arena.cons(list, i);
        auto [out, perm] = CircTriple{front, list, back}.simplify(arena);
        return nb::make_tuple(py_instrs(out), perm);
    });

    // ---- insertion and ownership ---------------------------------------------------------------------------
    // add_entry on the table; `circ` is the index of a stored list (ALIAS_NIL for the empty circuit). The new
    // list's index when the circuit opened a bucket.
    m.def("raw_eccs_add_entry",
          [](PyRawECCs& table, U64 key, Permut32 front, Permut32 back, U32 circ,
             const std::vector<Obj<Instr32>>& instrs) -> std::optional<uint32_t> {
              Write t(table);
              const std::vector<Instr32> v = py::instrs_from_python(instrs);
              const auto r = t->add_entry(key, front, back, InstrList{circ}, v);
              if (!r) return std::nullopt;
              return r->index;
          });
    // A second table with the same buckets that shares the first one's cells, as a table re-filed under another
    // evaluator does; it does not own the cells.
    m.def("raw_eccs_share", [](const PyRawECCs& table) {
        Read t(table);
        RawECCs copy = *t;
        copy.drop = false;
        return PyRawECCs(std::move(copy));
    });
    // Runs a search and frees its table's cells one by one: (triples, live cells before, cells freed, live after).
    m.def("search_and_free_cells",
          [](const Obj<Evaluator>& e, const std::vector<Obj<Instr32>>& instrs, Usize max_size) {
              auto [table, counters] = RawECCs::search(*Read(e), py::instrs_from_python(instrs), max_size);
              const size_t triples = table.triple_count();
              const size_t before = table.arena->live_cells();
              const size_t freed = table.free_cells();
              return nb::make_tuple(triples, before, freed, table.arena->live_cells());
          });
    // `free_cells` on a table held by Python, for its refusals; after a successful call the table's lists are
    // unusable, so the tests free cells only through `search_and_free_cells`.
    m.def("raw_eccs_free_cells", [](PyRawECCs& table) { return Write(table)->free_cells(); });

    m.def("front_surface_gates", [](const std::vector<Obj<Instr32>>& instrs) {
        const std::vector<Instr32> v = py::instrs_from_python(instrs);
        std::vector<Instr32> out;
        circuit_get_surface_gates(v.begin(), v.end(), [&](Instr32 g) { out.push_back(g); });
        return py_instrs(out);
    });
    m.def("back_surface_gates", [](const std::vector<Obj<Instr32>>& instrs) {
        const std::vector<Instr32> v = py::instrs_from_python(instrs);
        std::vector<Instr32> out;
        circuit_get_surface_gates(v.rbegin(), v.rend(), [&](Instr32 g) { out.push_back(g); });
        return py_instrs(out);
    });

    // ---- drivers -------------------------------------------------------------------------------------------
    // A driver ("search" or "naive") with the given threads ("sequential" or "pool") and batch settings (0 for
    // the defaults; small values send small searches through the pool).
    m.def(
        "search_with",
        [](const Obj<Evaluator>& e, const std::vector<Obj<Instr32>>& instrs, Usize max_size, const std::string& kind,
           const std::string& threads, Usize batch_evaluations, Usize pool_min_evaluations) {
            const SearchOptions o = options_of(threads, batch_evaluations, pool_min_evaluations);
            if (kind == "search") return to_python(RawECCs::search(*Read(e), py::instrs_from_python(instrs), max_size, o));
            if (kind == "naive") return to_python(RawECCs::search_naive(*Read(e), py::instrs_from_python(instrs), max_size, o));
            throw nb::value_error("kind must be 'search' or 'naive'");
        },
        nb::arg("evaluator"), nb::arg("instrs"), nb::arg("max_size"), nb::arg("kind"), nb::arg("threads"),
        nb::arg("batch_evaluations") = 0, nb::arg("pool_min_evaluations") = 0);
    m.def("generator_instrs", [](const std::vector<Obj<Gate16>>& gates, Usize nqubits) {
        std::vector<Gate16> g;
        for (const auto& x : gates) g.push_back(*Read(x));
        return py_instrs(generator_instrs(std::move(g), nqubits));
    });

    // ---- containers ----------------------------------------------------------------------------------------
    nb::class_<Map>(m, "U64MapU32")
        .def(nb::init<>())
        .def("try_emplace", [](Map& map, U64 key, U32 value) { return map.try_emplace(key, value).second; })
        .def("insert_or_assign", [](Map& map, U64 key, U32 value) { return map.insert_or_assign(key, value); })
        .def("get",
             [](const Map& map, U64 key) -> std::optional<uint32_t> {
                 const uint32_t* v = map.find(key);
                 if (!v) return std::nullopt;
                 return *v;
             })
        .def("items",
             [](const Map& map) {
                 std::vector<std::pair<uint64_t, uint32_t>> out;
                 for (const auto& e : map) out.emplace_back(e.key, e.value);
                 return out;
             })
        .def("copy", [](const Map& map) { return Map(map); })
        .def("__len__", &Map::size)
        .def("capacity", &Map::capacity);
    // Inserts the values into a linear set with two inline slots, through copies and moves at every step:
    // (the set's items, whether each insertion added its value).
    m.def("linear_set_inserts", [](const std::vector<uint32_t>& values) {
        LinearSet<uint32_t, 2> set;
        std::vector<bool> added;
        for (uint32_t v : values) {
            LinearSet<uint32_t, 2> copy = set;
            added.push_back(copy.insert(v));
            set = std::move(copy);
        }
        return nb::make_tuple(std::vector<uint32_t>(set.begin(), set.end()), added);
    });

    // ---- timing --------------------------------------------------------------------------------------------
    // The evaluator alone on the circuits a search over `instrs` evaluated: every bucket representative
    // shorter than `max_size` (the root included) extended by every instruction, each evaluated from scratch.
    // (evaluations, ns per evaluation).
    m.def("bench_table_evaluations",
          [](const PyRawECCs& table, const Obj<Evaluator>& e, const std::vector<Obj<Instr32>>& instrs, Usize max_size) {
              Read t(table);
              Read ev(e);
              const std::vector<Instr32> extra = py::instrs_from_python(instrs);
              EvalScratch scratch;
              std::vector<Instr32> circuit;
              size_t count = 0;
              const auto t0 = std::chrono::steady_clock::now();
              for (const auto& entry : t->inner) {
                  if (entry.value.size != 0 && entry.value.size >= max_size) continue;
                  circuit.clear();
                  t->arena->append_in_order(entry.value.circuits.front().circ, circuit);
                  for (Instr32 i : extra) {
                      circuit.push_back(i);
                      ev->evaluate_into(circuit, scratch);
                      sink = scratch.best.hash_value();
                      circuit.pop_back();
                      ++count;
                  }
              }
              const auto t1 = std::chrono::steady_clock::now();
              return nb::make_tuple(count, std::chrono::duration<double, std::nano>(t1 - t0).count() / double(count));
          });
}

}  // namespace tandrel::probe
