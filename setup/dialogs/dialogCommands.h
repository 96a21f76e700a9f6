// Display Dialog and Hide Dialog.
#pragma once

#include "script/commandTable.h"

namespace quillon {

void addDialogCommands(CommandTable& table);

} // namespace quillon
