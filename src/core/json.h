// A small JSON writer: arrays, objects with keys in byte order, integers and strings, written compactly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tandrel {

/// One JSON value. Objects keep their keys sorted byte-wise (std::string compares as unsigned bytes).
struct Json {
    using Array = std::vector<Json>;
    using Object = std::map<std::string, Json>;
    std::variant<int64_t, std::string, Array, Object> value;

    Json() : value(Array{}) {}
    Json(int64_t v) : value(v) {}                     // NOLINT: reads like the literal it holds
    Json(int v) : value(int64_t(v)) {}                // NOLINT
    Json(std::string v) : value(std::move(v)) {}      // NOLINT
    Json(const char* v) : value(std::string(v)) {}    // NOLINT
    Json(Array v) : value(std::move(v)) {}            // NOLINT
    Json(Object v) : value(std::move(v)) {}           // NOLINT

    /// The compact text: no blanks, no line breaks.
    std::string dump() const;
    /// Streams the compact text to `out`; false when a write fails (errno tells why).
    bool write(std::FILE* out) const;
};

/// Appends `s` as a JSON string literal: quotes, backslashes and control characters escaped, other bytes as
/// they are (UTF-8 passes through).
void append_json_string(std::string& out, const std::string& s);

}  // namespace tandrel
