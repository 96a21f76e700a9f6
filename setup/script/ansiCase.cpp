#include "ansiCase.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillon {

namespace {

#ifdef _WIN32
std::string converted(std::string_view text, DWORD(WINAPI* convert)(LPSTR, DWORD)) {
    std::string out(text);
    if (!out.empty()) convert(out.data(), static_cast<DWORD>(out.size()));
    return out;
}
#else
// Off Windows (unit tests, tools) the code page is taken as Windows-1252: ASCII and the Latin-1
// letters fold; the multiplication and division signs are not letters.
char upperOf(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
    return c;
}
char lowerOf(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
    return c;
}
std::string converted(std::string_view text, char (*convert)(char)) {
    std::string out(text);
    for (char& c : out)
        c = convert(c);
    return out;
}
#endif

} // namespace

#ifdef _WIN32
std::string ansiUpper(std::string_view text) {
    return converted(text, CharUpperBuffA);
}
std::string ansiLower(std::string_view text) {
    return converted(text, CharLowerBuffA);
}
#else
std::string ansiUpper(std::string_view text) {
    return converted(text, upperOf);
}
std::string ansiLower(std::string_view text) {
    return converted(text, lowerOf);
}
#endif

} // namespace quillon
