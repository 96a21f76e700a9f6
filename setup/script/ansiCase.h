// Letter case of script texts in the system's ANSI code page, as the user's locale defines it (the
// engine's fixed names use the ASCII helpers of asciiText.h instead).
#pragma once

#include <string>
#include <string_view>

namespace quillon {

std::string ansiUpper(std::string_view text);
std::string ansiLower(std::string_view text);

} // namespace quillon
