// One packed stream of an archive: a byte range of the source, read in order. When the archive records
// a digest for the stream and the stream is read through without skipping, the digest is checked.
#pragma once

#include "core/byteSource.h"
#include "core/crc32.h"
#include "core/inStream.h"

#include <optional>

namespace qov {

class PackedStream : public InStream {
  public:
    PackedStream(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                 std::optional<std::uint32_t> crc)
        : source_(source), offset_(offset), size_(size), expectedCrc_(crc) {}
    std::size_t read(std::span<std::uint8_t> buffer) override;
    std::uint64_t skip(std::uint64_t count) override;

  private:
    ByteSource& source_;
    std::uint64_t offset_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    std::optional<std::uint32_t> expectedCrc_;
    Crc32 crc_;
    bool skipped_ = false;
};

} // namespace qov
