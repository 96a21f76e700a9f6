// Turns a folder — coders joined by bind pairs, fed by packed streams — into one stream of its data.
#pragma once

#include "core/byteSource.h"
#include "core/decoderRegistry.h"
#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <memory>
#include <optional>
#include <span>

namespace qov {

struct PackedRange {
    std::uint64_t offset = 0; // in the source
    std::uint64_t size = 0;
    std::optional<std::uint32_t> crc;
};

// `packed` are the folder's own packed streams, in the folder's pack order. The stream yields exactly
// the folder's unpacked size; data ending early is DamagedArchive, a method without decoder
// UnsupportedMethod naming the method. In an encrypted folder damaged data means a wrong password and
// is CannotOpen.
std::unique_ptr<InStream> openFolder(ByteSource& source, const FolderInfo& folder,
                                     std::span<const PackedRange> packed, const DecoderRegistry& registry);

} // namespace qov
