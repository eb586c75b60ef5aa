// The gate registry: every gate the system knows is a record in one process-wide, append-only table, and is
// referred to everywhere else by its 16-bit position there. A gate's identity is its matrix: registering a
// matrix that hashes like a registered one gives back the existing handle.
//
// Reading needs no lock. Records live in fixed segments that never move, a record is complete before the count
// that makes it visible is published (release), readers only touch records below the count they loaded
// (acquire), and after publication nothing but the atomic `adjoint` link ever changes. Registration takes the
// one writer mutex across the duplicate search and the append, so concurrent registrations of one matrix give
// one handle. A reader may therefore also register a gate while it holds a matrix view.
#pragma once

#include <array>
#include <atomic>
#include <compare>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "circuit/dense_matrix.h"
#include "core/panic.h"
#include "core/siphash.h"

namespace tandrel {

struct GateData;

/// A gate: the index of its record in the registry. Equality, order and hash are those of the 16-bit value.
struct Gate16 {
    uint16_t raw = 0;

    /// Validates and registers a gate, or returns the handle of the first registered gate whose matrix hashes
    /// the same (whose name and parameters are then kept). A row count that is not a power of two fails "Matrix
    /// must have a number of rows that is a power of two" (checked first), a non-square matrix "Matrix must be
    /// squared". No unitarity check is made.
    static Gate16 make(std::string name, std::vector<std::string> params, DenseMatrix matrix);

    /// The first gate, in handle order, whose display string is exactly `name`.
    static std::optional<Gate16> from_name(std::string_view name);

    /// Number of registered gates (the built-in ones included).
    static size_t count();

    /// The gate's record, valid for the rest of the process; an unregistered handle is an index failure.
    const GateData& data() const;

    /// A copy of the gate's base name.
    std::string name() const;
    /// A copy of the gate's symbolic parameters.
    std::vector<std::string> params() const;
    /// Calls `f` with the gate's matrix (a `const DenseMatrix&`) and returns its result.
    template <class F>
    decltype(auto) matrix(F&& f) const;
    /// Number of qubit arguments: the base-2 logarithm of the row count.
    unsigned nqargs() const;

    /// The adjoint gate, registered on first request as the conjugate transpose named with a dagger (U+2020);
    /// through deduplication it is an existing gate whenever one has that matrix. Once recorded, it is one read
    /// of the record's link.
    Gate16 adjoint() const;

    /// The name, followed by the parameters joined with ", " in parentheses when there are any: "rz(pi/3)".
    std::string str() const;
    /// "Gate(17 -> rz(pi/3))".
    std::string debug() const;

    /// Feeds the handle's 2 bytes, little-endian.
    void hash_into(SipHasher13& h) const { h.write_u16(raw); }

    friend bool operator==(const Gate16&, const Gate16&) = default;
    friend std::strong_ordering operator<=>(const Gate16&, const Gate16&) = default;

private:
    /// Computes, registers and records the adjoint (the first request for this gate).
    Gate16 make_adjoint() const;
};
static_assert(sizeof(Gate16) == 2);

/// The `adjoint` link of a record: absent until the adjoint is first computed, then a handle. Atomic, since it
/// is the one field that changes after a record is published.
class AdjointLink {
public:
    /// The adjoint's handle, if it has been recorded.
    std::optional<Gate16> load() const {
        const uint32_t v = raw_.load(std::memory_order_acquire);
        if (v == ABSENT) return std::nullopt;
        return Gate16{static_cast<uint16_t>(v)};
    }
    /// Records the adjoint; concurrent computations of one adjoint store the same handle.
    void store(Gate16 g) { raw_.store(g.raw, std::memory_order_release); }

private:
    static constexpr uint32_t ABSENT = 0x10000;
    std::atomic<uint32_t> raw_{ABSENT};
};

/// One registry record. Immutable once published, except `adjoint`.
struct GateData {
    /// The base name ("cx").
    std::string name;
    /// Symbolic parameter expressions ("pi/3"), evaluated only on demand.
    std::vector<std::string> params;
    /// Square, with a power-of-two row count; column-major.
    DenseMatrix matrix;
    /// The adjoint's handle once it has been computed.
    AdjointLink adjoint;
};

/// The process-wide registry `INSTRUCTION_SET`: gate records in handle order, at most 65,536 of them.
class InstructionSet {
public:
    /// Handles are 16 bits wide.
    static constexpr size_t MAX_GATES = 65536;
    /// Records are allocated in segments of 2^SEGMENT_BITS that never move; the high handle bits pick the
    /// segment.
    static constexpr size_t SEGMENT_BITS = 8;
    static constexpr size_t SEGMENT_SIZE = size_t(1) << SEGMENT_BITS;

    /// The registry, filled with the built-in gates by the first caller from any thread.
    static InstructionSet& get() {
        // Never destroyed: workers may still read it while the process exits.
        static InstructionSet* const INSTRUCTION_SET = new InstructionSet();
        return *INSTRUCTION_SET;
    }

    /// Number of published records.
    size_t size() const { return count_.load(std::memory_order_acquire); }

    /// The record of `g`; an unregistered handle is an index-out-of-bounds failure.
    const GateData& operator[](Gate16 g) const {
        check_index(g.raw, size());
        // Ordered by the acquire load of the count: the segment was stored before the count was released.
        return segments_[g.raw >> SEGMENT_BITS].load(std::memory_order_relaxed)[g.raw & (SEGMENT_SIZE - 1)];
    }

    /// Appends a record unless one with the same gate hash exists; returns the handle either way.
    Gate16 add(std::string name, std::vector<std::string> params, DenseMatrix matrix);

    /// Records `adjoint` as the adjoint of `g`, a registered gate.
    void set_adjoint(Gate16 g, Gate16 adjoint) {
        check_index(g.raw, size());
        segments_[g.raw >> SEGMENT_BITS].load(std::memory_order_relaxed)[g.raw & (SEGMENT_SIZE - 1)].adjoint.store(
            adjoint);
    }

    InstructionSet(const InstructionSet&) = delete;
    InstructionSet& operator=(const InstructionSet&) = delete;

private:
    InstructionSet();

    std::array<std::atomic<GateData*>, MAX_GATES / SEGMENT_SIZE> segments_{};
    std::atomic<size_t> count_{0};
    /// Serialises writers; readers never take it.
    std::mutex write_;
    /// The gate hash of every record, in handle order; only touched under `write_`.
    std::vector<uint64_t> hashes_;
};

inline const GateData& Gate16::data() const { return InstructionSet::get()[*this]; }

inline Gate16 Gate16::adjoint() const {
    if (std::optional<Gate16> known = data().adjoint.load()) return *known;
    return make_adjoint();
}

template <class F>
decltype(auto) Gate16::matrix(F&& f) const {
    return std::forward<F>(f)(std::as_const(data().matrix));
}

/// The gate hash: SipHash-1-3 of the row count, the column count and every entry column by column, real then
/// imaginary part, each as its 2^-24 grid bucket. Matrices that differ only by noise below the grid hash alike.
uint64_t gate_hash(const DenseMatrix& matrix);

/// A built-in gate's handle, looked up by display name on first use (a name that is not registered is an
/// internal failure). Lock-free: concurrent first uses resolve to the same handle.
class NamedGate {
public:
    constexpr explicit NamedGate(const char* name) : name_(name) {}

    /// The handle, resolved on the first call.
    Gate16 get() const {
        const uint32_t v = resolved_.load(std::memory_order_relaxed);
        return v <= 0xFFFF ? Gate16{static_cast<uint16_t>(v)} : resolve();
    }
    operator Gate16() const { return get(); }  // NOLINT: reads like the handle it stands for

    /// The display name it resolves.
    const char* name() const { return name_; }

private:
    Gate16 resolve() const;

    const char* name_;
    mutable std::atomic<uint32_t> resolved_{0x10000};
};

/// The built-in gates the kernels and the circuit operations refer to by name.
inline constinit NamedGate H{"h"};
inline constinit NamedGate X{"x"};
inline constinit NamedGate Z{"z"};
inline constinit NamedGate S{"s"};
inline constinit NamedGate SDG{"sdg"};
inline constinit NamedGate T{"t"};
inline constinit NamedGate TDG{"tdg"};
inline constinit NamedGate CX{"cx"};
inline constinit NamedGate SWAP{"swap"};

}  // namespace tandrel
