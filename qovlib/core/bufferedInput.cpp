#include "core/bufferedInput.h"

namespace qov {

BufferedInput::BufferedInput(std::unique_ptr<InStream> input)
    : input_(std::move(input)), buffer_(64 * 1024) {}

bool BufferedInput::refill() {
    if (ended_) return false;
    position_ = 0;
    end_ = input_->read(buffer_);
    ended_ = end_ == 0;
    return !ended_;
}

} // namespace qov
