// The variables a run starts with, in the order they are set after compiling.
#pragma once

#include "script/variableConventions.h"

#include <string>

namespace quillon {

// What the engine knows about itself and the machine when the script starts.
struct RunFacts {
    std::string title;          // manifest field 6
    std::string publisher;      // manifest field 8
    std::string version;        // manifest field 13
    bool administrator = false; // NT family with administrator rights (elevated on Vista and later)
    std::string engineFile;
    std::string exeFolder;  // trailing backslash
    std::string rootFolder; // folder of the engine file, trailing backslash
    std::string registeredOwner;
    std::string registeredOrganization;
    bool silent = false;
    std::string logPath;
    std::string commandLineRest;
    std::string launcherPath;    // "/m="
    std::string groupPolicyPath; // "/g="
    std::string date;            // user's short date format
    std::string time;            // user's long time format
    std::string tempFolder;
    std::string supportFolder;
    std::string setupDatabasePath;
};

// The worker threads' progress variables, put directly.
void putProgressVariables(TVariableManager& store);
// TARGETDIR, STARTMENU and ALLUSERS, before the bootstrap.
void putPreInitializationVariables(TVariableManager& store, const AssignmentRules& rules,
                                   const RunFacts& facts);
// The variables the script starts with, after the bootstrap.
void putInitializationVariables(TVariableManager& store, const AssignmentRules& rules, const RunFacts& facts);

// The folder part of a path with its trailing backslash ("" for a path without one), and the file name.
std::string folderOfPath(const std::string& path);
std::string fileNameOfPath(const std::string& path);

} // namespace quillon
