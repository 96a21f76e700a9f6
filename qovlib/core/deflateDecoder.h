// Deflate (RFC 1951) and its 64 KiB-window extension Deflate64: length code 285 carries 16 extra
// bits and distance codes 30 and 31 reach up to 64 KiB back. One decoder serves both.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <memory>
#include <vector>

namespace qov {

std::unique_ptr<InStream> makeDeflateDecoder(const CoderInfo& coder,
                                             std::vector<std::unique_ptr<InStream>> inputs,
                                             std::uint64_t outSize);
std::unique_ptr<InStream> makeDeflate64Decoder(const CoderInfo& coder,
                                               std::vector<std::unique_ptr<InStream>> inputs,
                                               std::uint64_t outSize);

} // namespace qov
