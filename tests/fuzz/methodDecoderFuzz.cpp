// Feeds arbitrary bytes to the BZip2, Deflate, Deflate64 and PPMd decoders. The first byte picks the
// method (low 2 bits), the size to produce (next 4) and the PPMd order (top 2; the model gets 64 KiB); the
// rest is the packed stream. Failing with ArchiveError is fine; crashing, hanging, a sanitizer report
// or more output than asked for are not.
#include "core/archiveError.h"
#include "core/byteSource.h"
#include "core/decoderRegistry.h"
#include "core/packedStream.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Method {
    std::vector<std::uint8_t> id;
    bool ppmd = false;
};

const std::array<Method, 4> methods{{
    {{0x04, 0x02, 0x02}},
    {{0x04, 0x01, 0x08}},
    {{0x04, 0x01, 0x09}},
    {{0x03, 0x04, 0x01}, true},
}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const Method& method = methods[selector & 3];
    const std::uint64_t outSize = std::uint64_t{1} << (8 + ((selector >> 2) & 15) % 13); // 256 B to 1 MiB
    qov::CoderInfo coder{method.id, 1, 1, {}};
    if (method.ppmd) {
        coder.properties = {static_cast<std::uint8_t>(2 + (selector >> 6) * 5), 0x00, 0x00, 0x01,
                            0x00}; // 64 KiB
    }
    const auto packed = std::span(data + 1, size - 1);
    qov::MemoryByteSource source(packed);
    try {
        std::vector<std::unique_ptr<qov::InStream>> inputs;
        inputs.push_back(std::make_unique<qov::PackedStream>(source, 0, packed.size(), std::nullopt));
        const qov::DecoderFactory* factory = qov::DecoderRegistry::builtin().find(method.id);
        if (!factory) return 0;
        auto decoder = (*factory)(coder, std::move(inputs), outSize);
        std::vector<std::uint8_t> buffer(4096);
        std::uint64_t produced = 0;
        for (;;) {
            const std::size_t got = decoder->read(buffer);
            if (got == 0) break;
            if (got > buffer.size()) std::abort();
            produced += got;
            if (produced >= outSize) break;
        }
    } catch (const qov::ArchiveError&) {
    }
    return 0;
}
