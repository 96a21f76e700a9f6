// Runs a tool with an argument vector (no shell, so no quoting) and collects what it prints.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillon::builder {

struct ProcessResult {
    int exitCode = 0;   // the exit status, or 128 + the signal number that ended the process
    std::string output; // standard output and standard error, interleaved as written
};

// `arguments[0]` is looked up in PATH unless it holds a '/'. Standard input is /dev/null. Throws
// std::system_error when the program cannot be started.
ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDir = {});

} // namespace quillon::builder
