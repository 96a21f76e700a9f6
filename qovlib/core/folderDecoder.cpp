#include "core/folderDecoder.h"

#include "core/aesDecoder.h"
#include "core/archiveError.h"
#include "core/compressionMethod.h"
#include "core/packedStream.h"

#include <algorithm>

namespace qov {

namespace {

// Holds a decoder to the size the header promises, so a decoder producing too little is caught here.
class ExactSizeStream : public InStream {
  public:
    ExactSizeStream(std::unique_ptr<InStream> inner, std::uint64_t size)
        : inner_(std::move(inner)), left_(size) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left_));
        if (want == 0) return 0;
        const std::size_t got = inner_->read(buffer.first(want));
        if (got == 0) damaged("folder data ends early");
        left_ -= got;
        return got;
    }

    std::uint64_t skip(std::uint64_t count) override {
        const std::uint64_t skipped = inner_->skip(std::min(count, left_));
        left_ -= skipped;
        return skipped;
    }

  private:
    std::unique_ptr<InStream> inner_;
    std::uint64_t left_;
};

class FolderGraph {
  public:
    FolderGraph(ByteSource& source, const FolderInfo& folder, std::span<const PackedRange> packed,
                const DecoderRegistry& registry)
        : source_(source), folder_(folder), packed_(packed), registry_(registry),
          used_(folder.coders.size()) {
        std::uint32_t in = 0;
        for (const auto& coder : folder.coders) {
            firstIn_.push_back(in);
            in += coder.inStreams;
        }
    }

    std::unique_ptr<InStream> openOut(std::uint32_t outIndex) {
        // Every coder has exactly one out-stream (checked before), so out-stream i belongs to coder i.
        if (outIndex >= folder_.coders.size()) damaged("invalid coder stream in archive header");
        if (used_[outIndex]) damaged("coder loop in archive header");
        used_[outIndex] = true;
        const CoderInfo& coder = folder_.coders[outIndex];
        std::vector<std::unique_ptr<InStream>> inputs;
        for (std::uint32_t k = 0; k < coder.inStreams; ++k)
            inputs.push_back(openIn(firstIn_[outIndex] + k));
        const DecoderFactory* factory = registry_.find(coder.methodId);
        return (*factory)(coder, std::move(inputs), folder_.unpackSizes[outIndex]);
    }

  private:
    std::unique_ptr<InStream> openIn(std::uint32_t inIndex) {
        const auto& pairs = folder_.bindPairs;
        const auto bound =
            std::find_if(pairs.begin(), pairs.end(), [&](auto& p) { return p.inIndex == inIndex; });
        if (bound != pairs.end()) return openOut(bound->outIndex);
        const auto& packedStreams = folder_.packedStreams;
        const auto slot = std::find(packedStreams.begin(), packedStreams.end(), inIndex);
        const auto position = static_cast<std::size_t>(slot - packedStreams.begin());
        if (slot == packedStreams.end() || position >= packed_.size()) damaged("coder input without data");
        const PackedRange& range = packed_[position];
        return std::make_unique<PackedStream>(source_, range.offset, range.size, range.crc);
    }

    ByteSource& source_;
    const FolderInfo& folder_;
    std::span<const PackedRange> packed_;
    const DecoderRegistry& registry_;
    std::vector<std::uint32_t> firstIn_;
    std::vector<bool> used_;
};

void checkSupported(const FolderInfo& folder, const DecoderRegistry& registry) {
    std::string missing;
    for (const auto& coder : folder.coders) {
        if (registry.find(coder.methodId)) continue;
        if (!missing.empty()) missing += ", ";
        missing += methodName(coder.methodId);
    }
    if (!missing.empty()) fail(ErrorCode::UnsupportedMethod, "unsupported compression method " + missing);
    for (const auto& coder : folder.coders)
        if (coder.outStreams != 1)
            fail(ErrorCode::UnsupportedMethod,
                 "unsupported coder with several outputs: " + methodName(coder.methodId));
}

} // namespace

std::unique_ptr<InStream> openFolder(ByteSource& source, const FolderInfo& folder,
                                     std::span<const PackedRange> packed, const DecoderRegistry& registry) {
    checkSupported(folder, registry);
    FolderGraph graph(source, folder, packed, registry);
    auto stream = std::make_unique<ExactSizeStream>(graph.openOut(folder.mainOutStream), folder.unpackSize());
    if (isEncrypted(folder)) return reportingDamageAsWrongPassword(std::move(stream));
    return stream;
}

} // namespace qov
