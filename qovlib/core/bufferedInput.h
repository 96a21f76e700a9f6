// Byte-at-a-time access to a decoder's input stream, for the entropy decoders that consume their
// input in bits or single bytes.
#pragma once

#include "core/inStream.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qov {

class BufferedInput {
  public:
    explicit BufferedInput(std::unique_ptr<InStream> input);

    // The next byte, or -1 once the input is used up.
    int next() {
        if (position_ == end_ && !refill()) return -1;
        return buffer_[position_++];
    }

  private:
    bool refill();

    std::unique_ptr<InStream> input_;
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
};

} // namespace qov
