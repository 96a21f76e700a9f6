#include "core/copyDecoder.h"

#include "core/archiveError.h"

#include <algorithm>

namespace qov {

namespace {

class CopyDecoder : public InStream {
  public:
    CopyDecoder(std::unique_ptr<InStream> input, std::uint64_t size)
        : input_(std::move(input)), left_(size) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left_));
        if (want == 0) return 0;
        const std::size_t got = input_->read(buffer.first(want));
        if (got == 0) damaged("stored data ends early");
        left_ -= got;
        return got;
    }

    std::uint64_t skip(std::uint64_t count) override {
        const std::uint64_t skipped = input_->skip(std::min(count, left_));
        left_ -= skipped;
        return skipped;
    }

  private:
    std::unique_ptr<InStream> input_;
    std::uint64_t left_;
};

} // namespace

std::unique_ptr<InStream> makeCopyDecoder(const CoderInfo& coder,
                                          std::vector<std::unique_ptr<InStream>> inputs,
                                          std::uint64_t outSize) {
    if (coder.inStreams != 1 || coder.outStreams != 1 || inputs.size() != 1)
        damaged("Copy coder with more than one stream");
    return std::make_unique<CopyDecoder>(std::move(inputs.front()), outSize);
}

} // namespace qov
