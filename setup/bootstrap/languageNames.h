// The names the engine gives to Windows language identifiers.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// "" for an identifier not in the table.
std::string languageNameOf(unsigned identifier);
// 1033 for a name not in the table; letter case ignored.
unsigned languageIdentifierOf(std::string_view name);

} // namespace quillon
