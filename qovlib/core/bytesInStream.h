// A stream over bytes held in memory: a block read ahead, or a decoder's input given by hand.
#pragma once

#include "core/inStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qov {

class BytesInStream : public InStream {
  public:
    explicit BytesInStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        if (count > 0) std::memcpy(buffer.data(), bytes_.data() + position_, count);
        position_ += count;
        return count;
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace qov
