// ASCII case folding for markup keywords (internal).
#pragma once

#include <cstddef>
#include <string_view>

namespace kelmo {

inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when text continues at at with lower (lower case), ignoring ASCII case.
inline bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view lower) {
    if (at > text.size() || text.size() - at < lower.size()) return false;
    for (std::size_t k = 0; k < lower.size(); ++k) {
        if (AsciiLower(text[at + k]) != lower[k]) return false;
    }
    return true;
}

}  // namespace kelmo
