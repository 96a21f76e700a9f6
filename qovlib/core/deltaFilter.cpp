#include "core/deltaFilter.h"

#include "core/archiveError.h"

#include <algorithm>
#include <array>

namespace qov {

namespace {

class DeltaFilter : public InStream {
  public:
    DeltaFilter(std::unique_ptr<InStream> input, std::uint64_t size, unsigned distance)
        : input_(std::move(input)), left_(size), distance_(distance) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left_));
        if (want == 0) return 0;
        const std::size_t got = input_->read(buffer.first(want));
        if (got == 0) damaged("Delta data ends early");
        left_ -= got;
        for (std::uint8_t& b : buffer.first(got)) {
            // The ring holds the last 256 output bytes, so a distance of 256 reads the slot it is
            // about to overwrite.
            b = static_cast<std::uint8_t>(b + history_[static_cast<std::uint8_t>(next_ - distance_)]);
            history_[next_++] = b;
        }
        return got;
    }

  private:
    std::unique_ptr<InStream> input_;
    std::uint64_t left_;
    unsigned distance_;
    std::array<std::uint8_t, 256> history_{}; // the bytes before the stream count as zeros
    std::uint8_t next_ = 0;
};

} // namespace

std::unique_ptr<InStream> makeDeltaFilter(std::unique_ptr<InStream> input, std::uint64_t size,
                                          unsigned distance) {
    if (distance < 1 || distance > 256) fail(ErrorCode::UnsupportedMethod, "unsupported Delta distance");
    return std::make_unique<DeltaFilter>(std::move(input), size, distance);
}

std::unique_ptr<InStream> makeDeltaDecoder(const CoderInfo& coder,
                                           std::vector<std::unique_ptr<InStream>> inputs,
                                           std::uint64_t outSize) {
    if (coder.inStreams != 1 || inputs.size() != 1) damaged("Delta coder with other than one input");
    if (coder.properties.size() != 1) fail(ErrorCode::UnsupportedMethod, "unsupported Delta properties");
    return makeDeltaFilter(std::move(inputs.front()), outSize, coder.properties[0] + 1u);
}

} // namespace qov
