// The engine's command line: the switches, the NAME=VALUE overrides and the rest of the line.
// Portable so that the matching rules are tested natively.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

struct EngineCommandLine {
    bool silent = false;                                        // "s" or "qn"
    bool noStartupWindows = false;                              // "update" or "updatesetup"
    std::string groupPolicyPath;                                // "/g="
    std::string launcherPath;                                   // "/m="
    std::string logPath;                                        // "/l=" or "-l="
    std::string sourcePath;                                     // "/p=" or "-p="
    std::vector<std::pair<std::string, std::string>> overrides; // NAME upper-cased, VALUE as given
    std::string rest; // the raw command line without the program name
};

// Splits a raw command line by the standard Windows rules (blanks separate, double quotes group,
// backslashes escape only before a double quote). The program name is the first argument.
std::vector<std::string> splitCommandLine(std::string_view raw);

// The raw command line with the program name removed.
std::string commandLineRest(std::string_view raw);

// `arguments` excludes the program name.
EngineCommandLine parseEngineCommandLine(const std::vector<std::string>& arguments, std::string_view raw);

} // namespace quillon
