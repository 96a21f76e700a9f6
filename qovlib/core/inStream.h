// A forward-only byte stream: what a decoder reads from and what it offers to its consumer.
// Decoders chain through this interface, so a folder's coders form a pipeline pulled from the end.
#pragma once

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

} // namespace qov
