// Entry names travel to the engine in the system ANSI code page; archive names are UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qovdll {

// Null when some character has no exact counterpart in the code page (no best-fit guesses: a
// look-alike character could name a different file).
std::optional<std::string> toAnsi(std::u16string_view text);
std::u16string fromAnsi(std::string_view text);

} // namespace qovdll
