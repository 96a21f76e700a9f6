// Letter-case helpers for the engine's ANSI texts. Switch names, file names and field names compare
// without regard to case in the ASCII range only, as the engine's fixed names are ASCII.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string asciiLowered(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        c = asciiLower(c);
    return out;
}

inline std::string asciiUppered(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        c = asciiUpper(c);
    return out;
}

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

} // namespace quillon
