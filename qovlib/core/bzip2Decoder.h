// BZip2: Huffman-coded, move-to-front and run-length coded Burrows-Wheeler blocks of up to 900 000
// bytes, each with its own CRC and the stream with a combined one. Streams may follow each other.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <memory>
#include <vector>

namespace qov {

std::unique_ptr<InStream> makeBZip2Decoder(const CoderInfo& coder,
                                           std::vector<std::unique_ptr<InStream>> inputs,
                                           std::uint64_t outSize);

} // namespace qov
