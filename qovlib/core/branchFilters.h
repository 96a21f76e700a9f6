// The branch converters: executables compress better when relative call and jump targets are stored as
// absolute addresses, so the encoder rewrote them; these filters turn them back. Each reads its input
// in blocks and keeps the bytes of an instruction that a block cut in two until the rest arrives; the
// last bytes of the stream, too few for an instruction, pass unchanged.
#pragma once

#include "core/decoderRegistry.h"
#include "core/inStream.h"

#include <cstdint>
#include <memory>

namespace qov {

enum class BranchArch { X86, PowerPc, Ia64, Arm, ArmThumb, Sparc, Arm64, RiscV };

// `startOffset` is the address the first byte of the stream had when it was converted.
std::unique_ptr<InStream> makeBranchFilter(BranchArch arch, std::unique_ptr<InStream> input,
                                           std::uint64_t size, std::uint32_t startOffset = 0);

// For the registry: one input, no properties or a 4-byte little-endian start offset.
DecoderFactory branchFilterFactory(BranchArch arch);

} // namespace qov
