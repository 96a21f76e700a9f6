// Archive names are UTF-16; these convert them for logs, tests and UTF-8 based callers.
#pragma once

#include <string>
#include <string_view>

namespace qov {

// Unpaired surrogates become U+FFFD: the result is always valid UTF-8.
std::string toUtf8(std::u16string_view text);
// Malformed sequences become U+FFFD.
std::u16string fromUtf8(std::string_view text);

} // namespace qov
