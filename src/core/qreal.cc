#include "core/qreal.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace tandrel {

namespace {
std::string special(double v) {
    if (std::isnan(v)) return "NaN";
    return v < 0 ? "-inf" : "inf";
}

template <class... Args>
std::string fixed_text(double v, Args... precision) {
    // Positional text of the largest doubles needs about 310 digits, plus the requested decimals.
    std::vector<char> buf(400);
    for (;;) {
        auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, precision...);
        if (ec == std::errc()) return std::string(buf.data(), end);
        buf.resize(buf.size() * 2);
    }
}
}  // namespace

std::string Qreal::str() const {
    if (!std::isfinite(v)) return special(v);
    return fixed_text(v);
}

std::string Qreal::str(int decimals) const {
    if (!std::isfinite(v)) return special(v);
    return fixed_text(v, decimals);
}

}  // namespace tandrel
