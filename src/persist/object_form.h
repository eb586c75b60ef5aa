// The object form of a circuit: plain data made of mappings, sequences, strings and integers.
//
//   Circ     {"instrs": [instr, ...], "perm": perm}     (keys in this order)
//   Instr32  (gate, qargs): gate its display string ("cx", "rz(pi/3)"), qargs the two stored qubit bytes (0, 255)
//   Permut32 {"raw": word}
//
// Where the walk lives. The reading rules are rules about kinds of values and their order (a mapping walked in
// key order, duplicate and missing fields, a sequence or else a set, items of exactly two elements, a string, an
// integer of a given width), not about any one language's objects. They are written once, here, as a template
// over a node type; the binding layer supplies nodes over Python objects that answer "is this a mapping / a
// sequence / a set", give the items in the language's own iteration order and convert integers with the
// language's own errors. That keeps this header free of Python while no rule is stated twice. Writing needs no
// such split: the binding builds the form straight from `Circ`, with the names and gate strings below.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "circuit/circ.h"
#include "circuit/gate.h"
#include "circuit/instr.h"
#include "core/permutation.h"

namespace tandrel::object_form {

/// The field names.
inline constexpr std::string_view INSTRS = "instrs";
inline constexpr std::string_view PERM = "perm";
inline constexpr std::string_view RAW = "raw";

/// The target names of the shape errors.
inline constexpr std::string_view MAPPING = "Mapping";
inline constexpr std::string_view SEQUENCE = "Sequence";
inline constexpr std::string_view STRING = "PyString";

/// A value of the wrong shape. `kind` picks the caller's exception class; `what()` is the message.
struct ReadError : std::runtime_error {
    /// type: the value's kind is wrong; value: its length is; field: a field is missing or repeated.
    enum class Kind { type, value, field };
    Kind kind;

    ReadError(Kind k, const std::string& message) : std::runtime_error(message), kind(k) {}
};

/// "unexpected type: 'list' object cannot be converted to 'Mapping'".
std::string unexpected_type(std::string_view type_name, std::string_view target);
/// "dict keys must have type str".
std::string key_not_string();
/// "expected sequence of length 2, got 3".
std::string wrong_length(size_t expected, size_t got);
/// "missing field `perm`".
std::string missing_field(std::string_view name);
/// "duplicate field `perm`".
std::string duplicate_field(std::string_view name);

/// The gate whose display string is exactly `text`; none is the internal failure "Failed to deserialize Gate16
/// from " followed by the text.
Gate16 gate_from_form(std::string_view text);
/// The gate's display string.
inline std::string gate_to_form(Gate16 g) { return g.str(); }

/// What the walk needs of a node. Every operation may throw the language's own exceptions, which pass through.
///   bool is_mapping(); for_each_entry(f): f(key, value) over the keys and the values in iteration order;
///   std::optional<std::string> as_string() (nothing unless it is a string);
///   bool is_sequence(); size_t size(); Node item(i);
///   bool is_set(); for_each_member(f): f(member) in iteration order;
///   uint8_t to_u8(); uint32_t to_u32() (the language's integer conversion, with its errors);
///   std::string type_name().
template <class Node>
concept FormNode = requires(const Node& n, size_t i) {
    { n.is_mapping() } -> std::convertible_to<bool>;
    { n.as_string() } -> std::convertible_to<std::optional<std::string>>;
    { n.is_sequence() } -> std::convertible_to<bool>;
    { n.size() } -> std::convertible_to<size_t>;
    { n.item(i) } -> std::convertible_to<Node>;
    { n.is_set() } -> std::convertible_to<bool>;
    { n.to_u8() } -> std::convertible_to<uint8_t>;
    { n.to_u32() } -> std::convertible_to<uint32_t>;
    { n.type_name() } -> std::convertible_to<std::string>;
};

namespace detail {

template <FormNode Node>
[[noreturn]] void fail_type(const Node& n, std::string_view target) {
    throw ReadError(ReadError::Kind::type, unexpected_type(n.type_name(), target));
}

/// A sequence of exactly two items.
template <FormNode Node>
void expect_pair(const Node& n) {
    if (!n.is_sequence()) fail_type(n, SEQUENCE);
    const size_t len = n.size();
    if (len != 2) throw ReadError(ReadError::Kind::value, wrong_length(2, len));
}

/// Walks a mapping's entries in order: every key must be a string; `on_field(name, value)` sees each one.
template <FormNode Node, class F>
void walk_mapping(const Node& n, F&& on_field) {
    if (!n.is_mapping()) fail_type(n, MAPPING);
    n.for_each_entry([&](const Node& key, const Node& value) {
        std::optional<std::string> name = key.as_string();
        if (!name) throw ReadError(ReadError::Kind::type, key_not_string());
        on_field(*name, value);
    });
}

/// Fails with the duplicate-field message when `seen`, then marks it.
inline void first_time(bool& seen, std::string_view name) {
    if (seen) throw ReadError(ReadError::Kind::field, duplicate_field(name));
    seen = true;
}

template <FormNode Node>
Instr32 read_instr(const Node& n) {
    expect_pair(n);
    const Node gate = n.item(0);
    std::optional<std::string> text = gate.as_string();
    if (!text) fail_type(gate, STRING);
    Instr32 instr{gate_from_form(*text), QArgs16{}};
    const Node qargs = n.item(1);
    expect_pair(qargs);
    instr.qargs.raw[0] = qargs.item(0).to_u8();
    instr.qargs.raw[1] = qargs.item(1).to_u8();
    return instr;
}

template <FormNode Node>
std::vector<Instr32> read_instrs(const Node& n) {
    std::vector<Instr32> out;
    if (n.is_sequence()) {
        const size_t len = n.size();
        out.reserve(len);
        for (size_t i = 0; i < len; ++i) out.push_back(read_instr(n.item(i)));
    } else if (n.is_set()) {
        n.for_each_member([&](const Node& member) { out.push_back(read_instr(member)); });
    } else {
        fail_type(n, SEQUENCE);
    }
    return out;
}

template <FormNode Node>
Permut32 read_perm(const Node& n) {
    bool seen = false;
    Permut32 perm;
    walk_mapping(n, [&](const std::string& name, const Node& value) {
        if (name != RAW) return;
        first_time(seen, RAW);
        perm.raw = value.to_u32();
    });
    if (!seen) throw ReadError(ReadError::Kind::field, missing_field(RAW));
    return perm;
}

}  // namespace detail

/// Reads a circuit from its object form. Fields are read in the mapping's key order, so the first error in that
/// order is the one reported; other keys are skipped with their values. Nothing is validated beyond the shapes:
/// qubit bytes, their count and the permutation word are stored as they are, and the circuit is built without
/// the invariant check. Shape errors throw `ReadError`; an unknown gate string is an internal failure.
template <FormNode Node>
Circ read_circ(const Node& n) {
    bool have_instrs = false, have_perm = false;
    std::vector<Instr32> instrs;
    Permut32 perm;
    detail::walk_mapping(n, [&](const std::string& name, const Node& value) {
        if (name == INSTRS) {
            detail::first_time(have_instrs, INSTRS);
            instrs = detail::read_instrs(value);
        } else if (name == PERM) {
            detail::first_time(have_perm, PERM);
            perm = detail::read_perm(value);
        }
    });
    if (!have_instrs) throw ReadError(ReadError::Kind::field, missing_field(INSTRS));
    if (!have_perm) throw ReadError(ReadError::Kind::field, missing_field(PERM));
    return Circ::from_parts(std::move(instrs), perm);
}

}  // namespace tandrel::object_form
