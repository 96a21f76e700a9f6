#include "core/inStream.h"

#include <algorithm>
#include <array>

namespace qov {

std::uint64_t InStream::skip(std::uint64_t count) {
    std::array<std::uint8_t, 16384> scratch;
    std::uint64_t skipped = 0;
    while (skipped < count) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(scratch.size(), count - skipped));
        const std::size_t got = read(std::span(scratch).first(want));
        if (got == 0) break;
        skipped += got;
    }
    return skipped;
}

} // namespace qov
