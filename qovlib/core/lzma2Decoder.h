// LZMA2 (coder 21): LZMA data cut into chunks, each either stored or LZMA-coded, that may reset the
// dictionary, the coder state or the literal properties. The one property byte gives the dictionary.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qov {

// The dictionary size a property byte stands for; DamagedArchive above 40.
std::uint32_t lzma2DictionarySize(std::uint8_t property);

std::unique_ptr<InStream> makeLzma2Decoder(const CoderInfo& coder,
                                           std::vector<std::unique_ptr<InStream>> inputs,
                                           std::uint64_t outSize);

} // namespace qov
