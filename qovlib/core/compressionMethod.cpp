#include "core/compressionMethod.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace qov {

namespace {

struct KnownMethod {
    std::string_view id; // hex, as method ids are usually written
    std::string_view name;
};

constexpr std::array<KnownMethod, 20> knownMethods{{
    {"00", "Copy"},        {"03", "Delta"},      {"04", "BCJ"},         {"0A", "ARM64"},
    {"21", "LZMA2"},       {"030101", "LZMA"},   {"03030103", "BCJ"},   {"0303011B", "BCJ2"},
    {"03030205", "PPC"},   {"03030401", "IA64"}, {"03030501", "ARM"},   {"03030701", "ARMT"},
    {"03030805", "SPARC"}, {"030401", "PPMD"},   {"040108", "Deflate"}, {"040109", "Deflate64"},
    {"040202", "BZip2"},   {"06F10701", "AES"},  {"04F71101", "ZSTD"},  {"0B", "RISCV"},
}};

std::string toHex(std::span<const std::uint8_t> bytes) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 0x0F];
    }
    return hex;
}

} // namespace

std::string methodName(std::span<const std::uint8_t> methodId) {
    const std::string hex = toHex(methodId);
    const auto it =
        std::find_if(knownMethods.begin(), knownMethods.end(), [&](auto& m) { return m.id == hex; });
    if (it != knownMethods.end()) return std::string(it->name);
    return "0x" + (hex.empty() ? std::string("00") : hex);
}

} // namespace qov
