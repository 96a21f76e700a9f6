// PPMd as 7z stores it: properties are the model order (one byte) and the model memory in bytes
// (32 bits, little-endian). The memory is allocated as declared, so declarations above 1 GiB are
// refused rather than honoured.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <memory>
#include <vector>

namespace qov {

constexpr std::uint32_t maxPpmdMemory = 1u << 30;

std::unique_ptr<InStream>
makePpmdDecoder(const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize);

} // namespace qov
