#include "peImage.h"

#include <algorithm>

namespace quillon {

namespace {

uint32_t read16(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t read32(std::string_view b, size_t at) {
    return read16(b, at) | (read16(b, at + 2) << 16);
}

} // namespace

std::optional<uint64_t> peImageEnd(std::string_view b) {
    constexpr size_t dosHeaderSize = 64, coffHeaderSize = 20, sectionHeaderSize = 40;
    if (b.size() < dosHeaderSize || b[0] != 'M' || b[1] != 'Z') return std::nullopt;
    uint64_t pe = read32(b, 0x3c);
    if (pe + 4 + coffHeaderSize > b.size() || b.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return std::nullopt;
    uint64_t coff = pe + 4;
    uint32_t sectionCount = read16(b, coff + 2);
    uint32_t optionalHeaderSize = read16(b, coff + 16);
    uint64_t table = coff + coffHeaderSize + optionalHeaderSize;
    if (table + uint64_t(sectionCount) * sectionHeaderSize > b.size()) return std::nullopt;
    uint64_t end = table + uint64_t(sectionCount) * sectionHeaderSize;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        uint64_t s = table + uint64_t(i) * sectionHeaderSize;
        uint64_t rawSize = read32(b, s + 16), rawPointer = read32(b, s + 20);
        if (rawSize != 0) end = std::max(end, rawPointer + rawSize);
    }
    return end;
}

} // namespace quillon
