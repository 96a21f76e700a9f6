#include "core/packedStream.h"

#include "core/archiveError.h"

#include <algorithm>

namespace qov {

std::size_t PackedStream::read(std::span<std::uint8_t> buffer) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - position_));
    if (length == 0) return 0;
    auto chunk = buffer.first(length);
    source_.readAt(offset_ + position_, chunk);
    position_ += length;
    if (expectedCrc_ && !skipped_) {
        crc_.update(chunk);
        if (position_ == size_ && crc_.value() != *expectedCrc_)
            fail(ErrorCode::CrcMismatch, "CRC mismatch in packed data of the archive");
    }
    return length;
}

std::uint64_t PackedStream::skip(std::uint64_t count) {
    const std::uint64_t length = std::min(count, size_ - position_);
    if (length > 0) skipped_ = true;
    position_ += length;
    return length;
}

} // namespace qov
