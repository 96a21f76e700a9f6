// Names of the 7z coder method ids, for messages such as "unsupported compression method LZMA".
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qov {

// The conventional name of a method, or its id in hex when the method is unknown.
std::string methodName(std::span<const std::uint8_t> methodId);

} // namespace qov
