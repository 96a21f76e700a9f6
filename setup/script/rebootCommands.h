// Reboot Computer and Reboot and Resume: the commands that end the script by restarting Windows,
// the second after leaving an entry under the Run key that starts the setup again.
#pragma once

#include "script/commandTable.h"

#include <string>

namespace quillon {

void addRebootCommands(CommandTable& table);

// The name of the setup's value under the Run key: characters 2 to 9 of the product code.
std::string resumeValueName();

} // namespace quillon
