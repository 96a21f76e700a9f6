#include "core/ppmdDecoder.h"

#include "core/archiveError.h"
#include "core/bufferedInput.h"
#include "core/ppmdModel.h"

#include <algorithm>
#include <string>

namespace qov {

namespace {

class PpmdDecoder : public InStream {
  public:
    PpmdDecoder(std::unique_ptr<InStream> input, std::uint32_t memory, int order, std::uint64_t outSize)
        : input_(std::move(input)), model_(memory, order), left_(outSize) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left_));
        if (count == 0) return 0;
        if (!started_) {
            decoder_.start();
            started_ = true;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const int symbol = model_.decodeSymbol(decoder_);
            if (symbol == -1) damaged("PPMd data ends before its declared size");
            if (symbol < 0) damaged("PPMd data damaged");
            buffer[i] = static_cast<std::uint8_t>(symbol);
        }
        left_ -= count;
        if (left_ == 0 && !decoder_.finishedCleanly()) damaged("PPMd data damaged at its end");
        return count;
    }

  private:
    BufferedInput input_;
    PpmdRangeDecoder decoder_{input_};
    PpmdModel model_;
    std::uint64_t left_;
    bool started_ = false;
};

} // namespace

std::unique_ptr<InStream> makePpmdDecoder(const CoderInfo& coder,
                                          std::vector<std::unique_ptr<InStream>> inputs,
                                          std::uint64_t outSize) {
    if (coder.inStreams != 1 || coder.outStreams != 1 || inputs.size() != 1)
        damaged("PPMd coder with more than one stream");
    const auto& props = coder.properties;
    if (props.size() != 5) damaged("invalid PPMd properties");
    const int order = props[0];
    const std::uint32_t memory =
        static_cast<std::uint32_t>(props[1]) | static_cast<std::uint32_t>(props[2]) << 8 |
        static_cast<std::uint32_t>(props[3]) << 16 | static_cast<std::uint32_t>(props[4]) << 24;
    if (order < PpmdModel::minOrder || order > PpmdModel::maxOrder || memory < PpmdModel::minMemory)
        damaged("invalid PPMd properties");
    if (memory > maxPpmdMemory)
        fail(ErrorCode::UnsupportedMethod, "PPMd model of " + std::to_string(memory >> 20) +
                                               " MiB is more than the 1024 MiB this reader allows");
    return std::make_unique<PpmdDecoder>(std::move(inputs.front()), memory, order, outSize);
}

} // namespace qov
