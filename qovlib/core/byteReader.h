// Bounds-checked reading of little-endian values and 7z variable-length numbers from a byte buffer.
// Every overrun is a DamagedArchive failure, so parsers never look past the data they were given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qov {

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t readByte();
    std::uint32_t readUInt32();
    std::uint64_t readUInt64();
    // The 7z number: the count of leading one bits of the first byte is the count of bytes that follow.
    std::uint64_t readNumber();
    // A number used as an element count; refused when above `limit`, before anyone allocates for it.
    std::size_t readCount(std::uint64_t limit, const char* what);
    std::span<const std::uint8_t> readBytes(std::uint64_t count);

    std::size_t remaining() const { return data_.size() - position_; }
    bool atEnd() const { return remaining() == 0; }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
};

} // namespace qov
