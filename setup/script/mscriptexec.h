// The interpreter's entry: runs the install script from its first command to its end.
#pragma once

#include "bootstrap/setupManifest.h"

#include <string>
#include <vector>

namespace quillon {

struct ScriptLists {
    const StringList& commands;
    const StringList& keys;
    const StringList& disabledFlags;
    const StringList& mediaFolders;
    const std::vector<StringList*>& parameterStores;
    std::string setupDatabasePath; // support folder + exe name + ".msi"
};

// Returns when the script has ended; sets the engine's exit code as the script leaves it.
void runScript(const ScriptLists& script);

} // namespace quillon
