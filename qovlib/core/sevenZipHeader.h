// Parsing of the 7z signature header and of the (decoded) header into the model. Everything is
// checked against the bytes actually present: counts and sizes that cannot fit are refused up front.
#pragma once

#include "core/sevenZipModel.h"

#include <cstdint>
#include <span>
#include <variant>

namespace qov {

constexpr std::size_t signatureHeaderSize = 32;

struct SignatureHeader {
    std::uint8_t majorVersion = 0;
    std::uint8_t minorVersion = 0;
    std::uint64_t nextHeaderOffset = 0; // from the end of the signature header
    std::uint64_t nextHeaderSize = 0;
    std::uint32_t nextHeaderCrc = 0;
};

// CannotOpen when the bytes are not a 7z signature header, DamagedArchive when its CRC fails.
SignatureHeader parseSignatureHeader(std::span<const std::uint8_t, signatureHeaderSize> bytes);

std::variant<ArchiveHeader, EncodedHeader> parseNextHeader(std::span<const std::uint8_t> bytes);

} // namespace qov
