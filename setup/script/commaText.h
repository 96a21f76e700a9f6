// The comma text the engine exchanges with plug-in libraries: items separated by commas, an item
// holding blanks, commas, quotes or control characters written between double quotes with inner
// quotes doubled, an empty item written as "".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

std::string joinCommaText(const std::vector<std::string>& items);

// Unquoted blanks separate items as commas do.
std::vector<std::string> splitCommaText(std::string_view text);

} // namespace quillon
