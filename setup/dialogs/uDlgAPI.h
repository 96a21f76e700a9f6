// The dialog runtime's start-up entry points: the wizard's dialogs are loaded from their definition
// files before the script starts, so that showing one later costs nothing.
#pragma once

#include <string>

namespace quillon {

void initDialogRuntime(const std::string& supportFolder);

// `key` is the decimal zero-based position of the Display Dialog command in the command list.
void loadDialog(const std::string& key, const std::string& definitionFile);

} // namespace quillon
