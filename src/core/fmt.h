// Join helpers for every text form: items written with their display form, separated, optionally braced.
#pragma once

#include <string>
#include <string_view>

namespace tandrel {

/// Appends the display text of one item: strings as they are, integers in decimal, other values via `str()`.
template <class T>
void append_display(std::string& out, const T& v) {
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        out += std::string_view(v);
    } else if constexpr (std::is_integral_v<T>) {
        out += std::to_string(v);
    } else {
        out += v.str();
    }
}

/// Appends the items of [first, last) separated by `sep`; nothing for an empty range.
template <class It>
void fjoin(std::string& out, It first, It last, std::string_view sep) {
    for (It it = first; it != last; ++it) {
        if (it != first) out += sep;
        append_display(out, *it);
    }
}

/// Like `fjoin`, with `start` before the first item and `end` after the last; an empty range prints nothing,
/// not even the braces.
template <class It>
void fjoin_opt_braces(std::string& out, It first, It last, std::string_view sep, std::string_view start,
                      std::string_view end) {
    if (first == last) return;
    out += start;
    fjoin(out, first, last, sep);
    out += end;
}

/// The items of a range joined with `sep`.
template <class Range>
std::string join(const Range& r, std::string_view sep) {
    std::string out;
    fjoin(out, std::begin(r), std::end(r), sep);
    return out;
}

}  // namespace tandrel
