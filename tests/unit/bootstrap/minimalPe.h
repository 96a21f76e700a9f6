// A hand-made PE file for tests that need a Windows executable without a cross compiler: a DOS
// header, the PE signature, a COFF header without optional header and one section.
#pragma once

#include <cstdint>
#include <string>

namespace quillon::testing {

inline void put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

inline void put16(std::string& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

// Headers padded to 0x200, then `section` as the one section's raw data; the image ends after it.
inline std::string minimalPeImage(const std::string& section = std::string(0x200, '\x90')) {
    constexpr size_t peOffset = 0x40, coff = peOffset + 4, table = coff + 20, rawPointer = 0x200;
    std::string bytes(rawPointer, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put32(bytes, 0x3c, peOffset);
    bytes.replace(peOffset, 4, std::string("PE\0\0", 4));
    put16(bytes, coff, 0x14c);      // i386
    put16(bytes, coff + 2, 1);      // one section
    put16(bytes, coff + 18, 0x102); // executable, 32-bit
    bytes.replace(table, 5, ".text");
    put32(bytes, table + 8, static_cast<uint32_t>(section.size()));  // virtual size
    put32(bytes, table + 12, 0x1000);                                // virtual address
    put32(bytes, table + 16, static_cast<uint32_t>(section.size())); // raw size
    put32(bytes, table + 20, rawPointer);
    put32(bytes, table + 36, 0x60000020); // code, readable, executable
    return bytes + section;
}

} // namespace quillon::testing
