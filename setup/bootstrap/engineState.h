// The engine's process-wide start-up state: where it runs from, its command line, its support folder
// and the lists read from the setup manifest. Created at start-up, released after the script.
#pragma once

#include "bootstrap/commandLine.h"
#include "bootstrap/setupManifest.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace quillon {

struct EngineState {
    std::string exeFolder;     // ends with a backslash
    std::string exeName;       // file name without extension
    std::string tempFolder;    // ends with a backslash
    std::string supportFolder; // empty until created; ends with a backslash
    std::string resourcePath;  // exe folder + exe name + ".res"

    bool silent = false;
    bool noStartupWindows = false; // "update" or "updatesetup"
    std::string logPath;
    std::string groupPolicyPath;
    std::string launcherPath;
    std::string sourcePath;
    std::string commandLineRest;
    std::vector<std::pair<std::string, std::string>> overrides;

    std::string mediaFolder;         // where the setup's media are looked for now
    std::string originalMediaFolder; // the media folder as first set

    // The manifest's lists and values; the parameter stores handed to the interpreter start with the
    // manifest's own store.
    std::unique_ptr<SetupManifest> manifest;
    std::vector<StringList*> parameterStores;

    // The wizard title's parts, from the variables TITLE and KWIBLOGO once the script runs.
    std::string title;
    bool logoSwitch = false;

    HWND preparingWindow = nullptr; // owner of start-up message boxes while it exists
    int exitCode = 0;

    bool startupWindowsWanted() const { return !silent && !noStartupWindows; }
    std::string setupDatabasePath() const { return supportFolder + exeName + ".msi"; }
};

EngineState& engine();

// Caption of the engine's message boxes: TITLE alone with the logo switch on; otherwise
// "Quillon Wizard" or TITLE + " - Quillon Wizard".
std::string wizardTitle(const std::string& title, bool logoSwitch);

// An error message box of the engine, unless silent.
void showEngineError(const std::string& text);

} // namespace quillon
