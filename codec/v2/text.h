// Messages with numbers: message("{} of {}", a, b) puts each argument in the next {} (whatever
// is written inside the braces), whole numbers as they are, others to six significant digits.
#pragma once

#include <array>
#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestova::v2 {

inline std::string piece(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

template <std::integral I>
std::string piece(I value) {
    return std::to_string(value);
}

template <typename... Args>
std::string message(std::string_view pattern, const Args&... args) {
    const std::array<std::string, sizeof...(Args)> pieces{piece(args)...};
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string_view::npos;
        if (close != std::string_view::npos && next < pieces.size()) {
            out += pieces[next++];
            i = close;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace kestova::v2
