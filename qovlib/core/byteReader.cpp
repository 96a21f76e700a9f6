#include "core/byteReader.h"

#include "core/archiveError.h"

#include <string>

namespace qov {

std::uint8_t ByteReader::readByte() {
    if (atEnd()) damaged("archive header ends unexpectedly");
    return data_[position_++];
}

std::uint32_t ByteReader::readUInt32() {
    auto bytes = readBytes(4);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::uint64_t ByteReader::readUInt64() {
    auto bytes = readBytes(8);
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::uint64_t ByteReader::readNumber() {
    const std::uint8_t first = readByte();
    std::uint64_t value = 0;
    std::uint8_t mask = 0x80;
    for (int i = 0; i < 8; ++i) {
        if ((first & mask) == 0) {
            const std::uint64_t high = first & (mask - 1u);
            return value | (high << (8 * i));
        }
        value |= std::uint64_t{readByte()} << (8 * i);
        mask >>= 1;
    }
    return value;
}

std::size_t ByteReader::readCount(std::uint64_t limit, const char* what) {
    const std::uint64_t count = readNumber();
    if (count > limit) damaged(std::string("implausible number of ") + what + " in archive header");
    return static_cast<std::size_t>(count);
}

std::span<const std::uint8_t> ByteReader::readBytes(std::uint64_t count) {
    if (count > remaining()) damaged("archive header ends unexpectedly");
    auto bytes = data_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return bytes;
}

} // namespace qov
