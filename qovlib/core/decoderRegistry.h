// Decoders by method id. A folder's coders are looked up here, so a new codec only needs a factory
// registered: it receives the coder record (properties included), its input streams in in-stream
// order, and the size it must produce.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace qov {

using DecoderFactory = std::function<std::unique_ptr<InStream>(
    const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize)>;

class DecoderRegistry {
  public:
    // Every method this build can decode.
    static const DecoderRegistry& builtin();

    void add(std::vector<std::uint8_t> methodId, DecoderFactory factory);
    // Null when the method is not supported.
    const DecoderFactory* find(std::span<const std::uint8_t> methodId) const;

  private:
    std::map<std::vector<std::uint8_t>, DecoderFactory> factories_;
};

} // namespace qov
