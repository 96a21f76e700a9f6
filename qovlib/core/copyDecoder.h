// The Copy method: the packed stream is the data.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <memory>
#include <vector>

namespace qov {

std::unique_ptr<InStream>
makeCopyDecoder(const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize);

} // namespace qov
