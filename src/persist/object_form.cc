#include "persist/object_form.h"

#include "core/panic.h"

namespace tandrel::object_form {

std::string unexpected_type(std::string_view type_name, std::string_view target) {
    std::string out = "unexpected type: '";
    out += type_name;
    out += "' object cannot be converted to '";
    out += target;
    out += '\'';
    return out;
}

std::string key_not_string() { return "dict keys must have type str"; }

std::string wrong_length(size_t expected, size_t got) {
    return "expected sequence of length " + std::to_string(expected) + ", got " + std::to_string(got);
}

std::string missing_field(std::string_view name) { return "missing field `" + std::string(name) + "`"; }

std::string duplicate_field(std::string_view name) { return "duplicate field `" + std::string(name) + "`"; }

Gate16 gate_from_form(std::string_view text) {
    if (std::optional<Gate16> g = Gate16::from_name(text)) return *g;
    panic("Failed to deserialize Gate16 from " + std::string(text));
}

}  // namespace tandrel::object_form
