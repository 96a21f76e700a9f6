// The variables saved with the maintenance data of an installation, so that a later run of the
// same product (modify, repair, remove) finds them again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Adds the name unless present (letter case ignored).
void addPersistedVariable(std::string_view name);
const std::vector<std::string>& persistedVariables();

} // namespace quillon
