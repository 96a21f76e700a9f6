// The script commands that compute a text from the system: Convert Path, Get Temporary File and
// Get Environment.
#pragma once

#include "script/commandTable.h"

namespace quillon {

void addSystemStringCommands(CommandTable& table);

} // namespace quillon
