// Preparing a run: the setup manifest appended to the engine, the support folder, the setup
// resource unpacked into it and the copy of the setup database. Each step writes its trace tags.
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

// A start-up failure that ends the engine at once with its own exit code and message, without the
// clean-up of a normal end.
class StartupExit : public std::runtime_error {
  public:
    StartupExit(int exitCode, const std::string& message)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

enum StartupExitCode {
    ExitRuntimeError = 11,
    ExitNoManifest = 13,
    ExitNoSetupResource = 14,
    ExitResourceDecompression = 15,
    ExitNoSetupDatabase = 16,
};

void readSetupManifestFromEngine();
void createSupportFolder();
void extractSetupResource();
void copySetupDatabase();

// The data appended after a Windows image file; empty when it carries none.
std::string appendedDataOf(const std::string& imagePath);

} // namespace quillon
