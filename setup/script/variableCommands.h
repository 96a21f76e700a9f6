// Set Variable and Localization Variable.
#pragma once

#include "script/commandTable.h"

namespace quillon {

void addVariableCommands(CommandTable& table);

} // namespace quillon
