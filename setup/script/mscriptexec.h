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

// The exit code of a script that fails to compile.
inline constexpr int ExitCompileFailure = 314;

enum class ScriptOutcome {
    Ended,          // the script ran (or was not started); the engine's exit code is set
    CompileFailure, // nothing ran: the engine ends with ExitCompileFailure
};

ScriptOutcome runScript(const ScriptLists& script);

} // namespace quillon
