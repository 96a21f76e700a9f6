// Terminate Install and Terminate with Exit Code: the commands that end the script early. (The two
// that also restart Windows live with the engine's Windows side.)
#pragma once

#include "script/commandTable.h"

namespace quillon {

void addEndCommands(CommandTable& table);

} // namespace quillon
