// Every script command the engine knows, by name.
#pragma once

#include "script/commandTable.h"

namespace quillon {

const CommandTable& engineCommands();

} // namespace quillon
