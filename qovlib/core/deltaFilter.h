// The Delta filter: the encoder stored each byte minus the byte `distance` places before it, which
// turns slowly changing samples and tables into runs that compress well.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qov {

// `distance` is 1 to 256.
std::unique_ptr<InStream> makeDeltaFilter(std::unique_ptr<InStream> input, std::uint64_t size,
                                          unsigned distance);

// For the registry: one input; the one property byte is the distance minus one.
std::unique_ptr<InStream> makeDeltaDecoder(const CoderInfo& coder,
                                           std::vector<std::unique_ptr<InStream>> inputs,
                                           std::uint64_t outSize);

} // namespace qov
