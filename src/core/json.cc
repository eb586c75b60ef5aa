#include "core/json.h"

namespace tandrel {

void append_json_string(std::string& out, const std::string& s) {
    static const char HEX[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += HEX[c >> 4];
                    out += HEX[c & 15];
                } else {
                    out += char(c);
                }
        }
    }
    out += '"';
}

namespace {

/// Emits the text in pieces through `sink(const std::string&)`, which returns false on failure.
template <class Sink>
bool emit(const Json& j, std::string& buf, Sink& sink) {
    // Flush in chunks so that large documents stream without one big intermediate string.
    if (buf.size() > (1u << 16)) {
        if (!sink(buf)) return false;
        buf.clear();
    }
    if (auto* i = std::get_if<int64_t>(&j.value)) {
        buf += std::to_string(*i);
    } else if (auto* s = std::get_if<std::string>(&j.value)) {
        append_json_string(buf, *s);
    } else if (auto* a = std::get_if<Json::Array>(&j.value)) {
        buf += '[';
        bool first = true;
        for (const Json& e : *a) {
            if (!first) buf += ',';
            first = false;
            if (!emit(e, buf, sink)) return false;
        }
        buf += ']';
    } else {
        const auto& o = std::get<Json::Object>(j.value);
        buf += '{';
        bool first = true;
        for (const auto& [k, v] : o) {
            if (!first) buf += ',';
            first = false;
            append_json_string(buf, k);
            buf += ':';
            if (!emit(v, buf, sink)) return false;
        }
        buf += '}';
    }
    return true;
}

}  // namespace

std::string Json::dump() const {
    std::string out, buf;
    auto sink = [&](const std::string& piece) {
        out += piece;
        return true;
    };
    emit(*this, buf, sink);
    out += buf;
    return out;
}

bool Json::write(std::FILE* f) const {
    std::string buf;
    auto sink = [&](const std::string& piece) { return std::fwrite(piece.data(), 1, piece.size(), f) == piece.size(); };
    return emit(*this, buf, sink) && sink(buf) && std::fflush(f) == 0;
}

}  // namespace tandrel
