#include "core/crc32.h"

#include <array>

namespace qov {

namespace {

// Eight tables: table k gives the CRC of a byte followed by k zero bytes, so eight input bytes fold
// into the state with eight lookups and no dependency chain between them (slicing by 8). Every byte
// of an archive's data passes through here, so this is on the extraction's hot path.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::uint32_t i = 0; i < 256; ++i)
            t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
    return t;
}

constexpr Tables tables = makeTables();

} // namespace

void Crc32::update(std::span<const std::uint8_t> data) {
    std::uint32_t c = state_;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t low = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                       std::uint32_t{p[3]} << 24);
        c = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
            tables[4][low >> 24] ^ tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^ tables[0][p[7]];
    }
    for (; n > 0; ++p, --n)
        c = tables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    state_ = c;
}

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    Crc32 crc;
    crc.update(data);
    return crc.value();
}

} // namespace qov
