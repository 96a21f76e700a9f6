// A forward-only byte stream: what a decoder reads from and what it offers to its consumer.
// Decoders chain through this interface, so a folder's coders form a pipeline pulled from the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qov {

class InStream {
  public:
    virtual ~InStream() = default;
    // Reads up to buffer.size() bytes; 0 only at the end of the stream.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    // Passes over up to `count` bytes and answers how many were passed. Streams that can seek override it.
    virtual std::uint64_t skip(std::uint64_t count);
};

// Skips `count` bytes of a decoder that can decode without copying out: `decode(n)` decodes up to n
// bytes into its own window and answers how many, 0 at the end.
template <typename Decode> std::uint64_t skipByDecoding(std::uint64_t count, Decode decode) {
    std::uint64_t skipped = 0;
    while (skipped < count) {
        const std::size_t got =
            decode(static_cast<std::size_t>(std::min<std::uint64_t>(count - skipped, 1u << 30)));
        if (got == 0) break;
        skipped += got;
    }
    return skipped;
}

} // namespace qov
