// Internal failures: a violated precondition or invariant anywhere in the core.
//
// Every internal failure is thrown as `Panic`, whose message is exactly the text the Python layer raises as
// `PanicException`. The helpers below build the three message forms and write a diagnostic with the source
// location to standard error before throwing.
#pragma once

#include <concepts>
#include <cstddef>
#include <exception>
#include <source_location>
#include <string>
#include <string_view>

namespace tandrel {

/// The one exception type of internal failures; `what()` is the exact message.
class Panic : public std::exception {
public:
    explicit Panic(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

/// Writes the diagnostic ("panicked at file:line:column:" and the message) to standard error and throws
/// `Panic(message)`.
[[noreturn]] void panic(std::string message, std::source_location loc = std::source_location::current());

/// The failure of `check`: "assertion failed: " followed by the condition text.
[[noreturn]] void panic_condition(const char* condition, std::source_location loc);
/// The failure of `check_eq`: "assertion `left == right` failed: <text>\n  left: <a>\n right: <b>".
[[noreturn]] void panic_eq(std::string_view text, const std::string& left, const std::string& right,
                           std::source_location loc);
/// The failure of `check_index`: "index out of bounds: the len is <len> but the index is <index>".
[[noreturn]] void panic_index(size_t len, size_t index, std::source_location loc);

/// Fails with "assertion failed: <condition>" unless `cond` holds.
inline void check(bool cond, const char* condition, std::source_location loc = std::source_location::current()) {
    if (!cond) [[unlikely]]
        panic_condition(condition, loc);
}

/// Fails with "index out of bounds: ..." unless `index < len`.
inline void check_index(size_t index, size_t len, std::source_location loc = std::source_location::current()) {
    if (index >= len) [[unlikely]]
        panic_index(len, index, loc);
}

namespace detail {
template <class T>
std::string display_value(const T& v) {
    if constexpr (std::same_as<T, bool>) {
        return v ? "true" : "false";
    } else if constexpr (std::integral<T>) {
        return std::to_string(v);
    } else if constexpr (std::convertible_to<T, std::string_view>) {
        return std::string(std::string_view(v));
    } else {
        return v.str();
    }
}
}  // namespace detail

/// Fails with the equality-assertion form unless `a == b`; the values are shown through their display forms.
template <class A, class B>
inline void check_eq(const A& a, const B& b, std::string_view text,
                     std::source_location loc = std::source_location::current()) {
    if (!(a == b)) [[unlikely]]
        panic_eq(text, detail::display_value(a), detail::display_value(b), loc);
}

}  // namespace tandrel
