// Deterministic GUID texts for a project: the product and revision codes when the project gives none,
// and each command's key. Derived by hashing, never from a clock or a random source, so that two
// builds of the same project write the same manifest bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::builder {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string derivedProductCode(std::string_view title, std::string_view name);
std::string derivedRevisionCode(std::string_view title, std::string_view name);

// The key of the command at zero-based `position` in a setup with `productCode`.
std::string derivedCommandKey(std::string_view productCode, size_t position);

// True for the braced 8-4-4-4-12 hex form (either letter case).
bool isGuidText(std::string_view text);

} // namespace quillon::builder
