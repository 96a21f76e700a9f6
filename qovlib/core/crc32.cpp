#include "core/crc32.h"

#include <array>

namespace qov {

namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr auto table = makeTable();

} // namespace

void Crc32::update(std::span<const std::uint8_t> data) {
    std::uint32_t c = state_;
    for (std::uint8_t byte : data)
        c = table[(c ^ byte) & 0xFF] ^ (c >> 8);
    state_ = c;
}

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    Crc32 crc;
    crc.update(data);
    return crc.value();
}

} // namespace qov
