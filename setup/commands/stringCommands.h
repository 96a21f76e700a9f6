// The script commands that compute a text and store it in a variable without touching the system:
// Parse String, Replace String, Convert Case, Extract Path, Mathematics and Evaluate Expression.
#pragma once

#include "script/commandTable.h"

namespace quillon {

// Each table gets its own generator state for Mathematics, kept as long as the table: the engine's
// one table lives for the whole run.
void addStringCommands(CommandTable& table);

} // namespace quillon
