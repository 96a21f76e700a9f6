// Feeds arbitrary bytes to the LZMA and LZMA2 decoders with arbitrary properties. Layout: a selector
// byte (bit 0: LZMA2; bits 1-3: the read size; bit 4: skip before reading; bit 5: LZMA2 decoded in
// blocks on two threads), the coder properties
// (5 bytes for LZMA, 1 for LZMA2), 3 bytes of output size (little endian, at most 1 MiB), then the
// packed stream. Failing with ArchiveError is fine; crashing, a sanitizer report, more output than
// asked for, or success with less, are not.
#include "core/archiveError.h"
#include "core/bytesInStream.h"
#include "core/lzma2Decoder.h"
#include "core/lzmaDecoder.h"
#include "core/parallelLzma2.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "lzmaDecoderFuzz: %s\n", what);
    std::abort();
}

constexpr std::array<std::size_t, 8> readSizes{1, 3, 64, 273, 1024, 4096, 65536, 1 << 20};
constexpr std::uint64_t maxOutSize = 1 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const bool lzma2 = selector & 1;
    const std::size_t propertySize = lzma2 ? 1 : 5;
    if (size < 1 + propertySize + 3) return 0;
    qov::CoderInfo coder;
    coder.methodId = lzma2 ? std::vector<std::uint8_t>{0x21} : std::vector<std::uint8_t>{0x03, 0x01, 0x01};
    coder.properties.assign(data + 1, data + 1 + propertySize);
    const std::uint8_t* sizeBytes = data + 1 + propertySize;
    const std::uint64_t outSize = std::min<std::uint64_t>(
        maxOutSize, sizeBytes[0] | (std::uint64_t{sizeBytes[1]} << 8) | (std::uint64_t{sizeBytes[2]} << 16));
    const auto packed = std::span(data, size).subspan(1 + propertySize + 3);
    std::vector<std::uint8_t> buffer(readSizes[(selector >> 1) & 7]);
    std::uint64_t produced = 0;
    try {
        std::vector<std::unique_ptr<qov::InStream>> inputs;
        inputs.push_back(
            std::make_unique<qov::BytesInStream>(std::vector<std::uint8_t>(packed.begin(), packed.end())));
        auto decoder = !lzma2            ? qov::makeLzmaDecoder(coder, std::move(inputs), outSize)
                       : selector & 0x20 ? qov::parallelLzma2Factory(2)(coder, std::move(inputs), outSize)
                                         : qov::makeLzma2Decoder(coder, std::move(inputs), outSize);
        if (selector & 0x10) produced += decoder->skip(outSize / 3);
        while (std::size_t got = decoder->read(buffer)) {
            require(got <= buffer.size(), "read answered more than the buffer");
            produced += got;
            require(produced <= outSize, "more output than the declared size");
        }
        require(produced == outSize, "the stream ended early without an error");
    } catch (const qov::ArchiveError&) {
    }
    return 0;
}
