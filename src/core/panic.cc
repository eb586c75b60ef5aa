#include "core/panic.h"

#include <cstdio>

namespace tandrel {

void panic(std::string message, std::source_location loc) {
    std::fprintf(stderr, "tandrel panicked at %s:%u:%u:\n%s\n", loc.file_name(), static_cast<unsigned>(loc.line()),
                 static_cast<unsigned>(loc.column()), message.c_str());
    std::fflush(stderr);
    throw Panic(std::move(message));
}

void panic_condition(const char* condition, std::source_location loc) {
    panic(std::string("assertion failed: ") + condition, loc);
}

void panic_eq(std::string_view text, const std::string& left, const std::string& right, std::source_location loc) {
    std::string m = "assertion `left == right` failed: ";
    m += text;
    m += "\n  left: ";
    m += left;
    m += "\n right: ";
    m += right;
    panic(std::move(m), loc);
}

void panic_index(size_t len, size_t index, std::source_location loc) {
    panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index), loc);
}

}  // namespace tandrel
