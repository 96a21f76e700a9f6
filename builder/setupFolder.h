// Assembling a built setup folder: the engine with its manifest, qov.lib, the support archive, the
// Windows Installer database and the optional picture and data folder. The folder is made beside
// its destination and moved into place whole, so a failed build leaves the previous one untouched.
#pragma once

#include "projectFile.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillon::builder {

// A tool (7zz, wixl), the engine files or the file system failed; the message carries the tool's output.
class ToolError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The output folder cannot be used (it holds files no build makes, or it would swallow the project).
class OutputFolderError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct BuildPaths {
    std::filesystem::path projectDir;
    std::filesystem::path engineDir; // holds setup.exe and qov.lib
    std::filesystem::path outDir;
};

// Builds `project` (read from paths.projectDir) into paths.outDir, replacing what a previous build left
// there. Returns one summary line per file made. Throws ProjectError, ToolError or OutputFolderError.
std::vector<std::string> buildSetupFolder(const Project& project, const BuildPaths& paths);

// The appended manifest of a built setup, or nothing when the file carries none.
std::optional<std::string> appendedManifest(const std::filesystem::path& setupExe);

} // namespace quillon::builder
