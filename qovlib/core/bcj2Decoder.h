// BCJ2, the x86 converter with separate streams: the encoder took the targets of CALL and JMP/Jcc
// instructions out of the code, stored them as absolute big-endian addresses in a call stream and a
// jump stream, and recorded for every candidate opcode whether it did so in a range-coded bit stream.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qov {

// `inputs` in in-stream order: main, call, jump, range coder.
std::unique_ptr<InStream>
makeBcj2Decoder(const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize);

} // namespace qov
