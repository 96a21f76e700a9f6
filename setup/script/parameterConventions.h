// How script commands read their parameter texts: paths, numbers and variable names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Every pair of backslashes becomes one, a UNC prefix included.
std::string withSingleBackslashes(std::string_view text);

// The same, but a leading pair stays two, so a UNC prefix survives.
std::string pathTextOf(std::string_view text);

// "$NAME$" stands for NAME; any other text is the name itself.
std::string nameWithOptionalDollars(std::string_view text);

// A signed decimal number (an optional sign, then digits only) that fits the type; nothing otherwise.
std::optional<int32_t> decimalInt32(std::string_view text);
std::optional<int64_t> decimalInt64(std::string_view text);

// The same, raising the script error "'TEXT' is not a valid integer value" for other text.
int32_t integerOf(std::string_view text);
int64_t integer64Of(std::string_view text);

} // namespace quillon
