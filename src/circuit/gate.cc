#include "circuit/gate.h"

#include <bit>

#include "circuit/gate_table.h"
#include "core/fmt.h"

namespace tandrel {

namespace {

/// Whether `text` is the display string of `rec`, compared piecewise so that no string is built.
bool display_equals(const GateData& rec, std::string_view text) {
    if (!text.starts_with(rec.name)) return false;
    text.remove_prefix(rec.name.size());
    if (rec.params.empty()) return text.empty();
    for (size_t i = 0; i < rec.params.size(); ++i) {
        const std::string_view sep = i == 0 ? "(" : ", ";
        if (!text.starts_with(sep)) return false;
        text.remove_prefix(sep.size());
        if (!text.starts_with(rec.params[i])) return false;
        text.remove_prefix(rec.params[i].size());
    }
    return text == ")";
}

}  // namespace

uint64_t gate_hash(const DenseMatrix& matrix) {
    SipHasher13 h;
    h.write_u64(matrix.nrows);
    h.write_u64(matrix.ncols);
    for (const Qcomplex& e : matrix.entries) {
        h.write_i64(e.re.percision_repr());
        h.write_i64(e.im.percision_repr());
    }
    return h.finish();
}

InstructionSet::InstructionSet() {
    for (const BuiltinGate& b : builtin_gates()) {
        DenseMatrix m = DenseMatrix::zeros(b.nrows, b.nrows);
        for (size_t r = 0; r < b.nrows; ++r)
            for (size_t c = 0; c < b.nrows; ++c) m(r, c) = b.rows[r * b.nrows + c];
        std::vector<std::string> params;
        if (!b.param.empty()) params.emplace_back(b.param);
        const size_t position = size();
        check_eq(add(std::string(b.name), std::move(params), std::move(m)).raw, position,
                 "built-in gates are registered at their table position");
    }
}

Gate16 InstructionSet::add(std::string name, std::vector<std::string> params, DenseMatrix matrix) {
    const uint64_t hash = gate_hash(matrix);
    std::lock_guard lock(write_);
    // Only the hash decides: a gate whose matrix hashes like a registered one is that gate.
    for (size_t i = 0; i < hashes_.size(); ++i)
        if (hashes_[i] == hash) return Gate16{static_cast<uint16_t>(i)};
    const size_t n = count_.load(std::memory_order_relaxed);
    if (n == MAX_GATES) panic("Gate registry is full: at most 65536 gates can be registered");
    std::atomic<GateData*>& slot = segments_[n >> SEGMENT_BITS];
    GateData* segment = slot.load(std::memory_order_relaxed);
    if (!segment) {
        segment = new GateData[SEGMENT_SIZE];
        slot.store(segment, std::memory_order_relaxed);
    }
    hashes_.push_back(hash);
    GateData& rec = segment[n & (SEGMENT_SIZE - 1)];
    rec.name = std::move(name);
    rec.params = std::move(params);
    rec.matrix = std::move(matrix);
    count_.store(n + 1, std::memory_order_release);
    return Gate16{static_cast<uint16_t>(n)};
}

Gate16 Gate16::make(std::string name, std::vector<std::string> params, DenseMatrix matrix) {
    if (!std::has_single_bit(matrix.nrows)) panic("Matrix must have a number of rows that is a power of two");
    if (matrix.ncols != matrix.nrows) panic("Matrix must be squared");
    check_eq(matrix.entries.size(), matrix.nrows * matrix.ncols, "matrix entries match its shape");
    return InstructionSet::get().add(std::move(name), std::move(params), std::move(matrix));
}

std::optional<Gate16> Gate16::from_name(std::string_view name) {
    const InstructionSet& set = InstructionSet::get();
    const size_t n = set.size();
    for (size_t i = 0; i < n; ++i) {
        const Gate16 g{static_cast<uint16_t>(i)};
        if (display_equals(set[g], name)) return g;
    }
    return std::nullopt;
}

size_t Gate16::count() { return InstructionSet::get().size(); }

std::string Gate16::name() const { return data().name; }

std::vector<std::string> Gate16::params() const { return data().params; }

unsigned Gate16::nqargs() const { return static_cast<unsigned>(std::countr_zero(data().matrix.nrows)); }

Gate16 Gate16::make_adjoint() const {
    const GateData& rec = data();
    // Two threads may both get here; deduplication gives both the same handle, so both store the same link.
    const Gate16 adj = make(rec.name + "\u2020", rec.params, rec.matrix.adjoint());
    InstructionSet::get().set_adjoint(*this, adj);
    return adj;
}

std::string Gate16::str() const {
    const GateData& rec = data();
    std::string out = rec.name;
    fjoin_opt_braces(out, rec.params.begin(), rec.params.end(), ", ", "(", ")");
    return out;
}

std::string Gate16::debug() const { return "Gate(" + std::to_string(raw) + " -> " + str() + ")"; }

Gate16 NamedGate::resolve() const {
    const std::optional<Gate16> g = Gate16::from_name(name_);
    if (!g) panic(std::string("Built-in gate ") + name_ + " is not registered");
    resolved_.store(g->raw, std::memory_order_relaxed);
    return *g;
}

}  // namespace tandrel
