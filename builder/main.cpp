// builder: turns a project folder into a setup folder, and a built setup back into project text.
#include "projectFile.h"
#include "projectWriter.h"
#include "setupFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace fs = std::filesystem;
using namespace quillon;
using namespace quillon::builder;

namespace {

enum ExitCode { exitOk = 0, exitProject = 1, exitUsage = 2, exitTool = 3 };

const char* const usage = "usage: builder build PROJECT_DIR OUT_DIR [--engine-dir DIR]\n"
                          "       builder dump SETUP_EXE\n";

int usageError(const std::string& message) {
    std::cerr << "builder: " << message << "\n" << usage;
    return exitUsage;
}

// Build trees sit side by side: build/host/bin/builder finds the shipped engine in build/win32/bin.
fs::path defaultEngineDir() {
    if (const char* dir = std::getenv("QUILLON_ENGINE_DIR"); dir && *dir) return dir;
    return fs::read_symlink("/proc/self/exe").parent_path() / ".." / ".." / "win32" / "bin";
}

int build(const std::vector<std::string>& arguments) {
    std::vector<std::string> positional;
    std::optional<fs::path> engineDir;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--engine-dir") {
            if (i + 1 == arguments.size()) return usageError("--engine-dir needs a folder");
            engineDir = arguments[++i];
        } else if (a.rfind("--engine-dir=", 0) == 0) {
            engineDir = a.substr(13);
        } else if (a.rfind("-", 0) == 0) {
            return usageError("unknown option '" + a + "'");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return usageError("build takes a project folder and an output folder");
    fs::path projectFile = fs::path(positional[0]) / projectFileName;
    std::ifstream in(projectFile, std::ios::binary);
    if (!in) {
        std::cerr << projectFile.string() << ": cannot open the project file\n";
        return exitProject;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        Project project = parseProject(text, projectFile.string());
        for (const auto& warning : project.warnings)
            std::cerr << warning << "\n";
        BuildPaths paths{positional[0], engineDir ? *engineDir : defaultEngineDir(), positional[1]};
        for (const auto& line : buildSetupFolder(project, paths))
            std::cout << line << "\n";
        return exitOk;
    } catch (const ProjectError& e) {
        std::cerr << e.what() << "\n";
        return exitProject;
    } catch (const OutputFolderError& e) {
        return usageError(e.what());
    } catch (const std::exception& e) {
        std::cerr << "builder: " << e.what() << "\n";
        return exitTool;
    }
}

int dump(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return usageError("dump takes one setup executable");
    fs::path exe = arguments[0];
    if (!fs::is_regular_file(exe)) {
        std::cerr << exe.string() << ": no such file\n";
        return exitProject;
    }
    std::optional<std::string> stored = appendedManifest(exe);
    if (!stored) {
        std::cerr << exe.string() << " carries no setup manifest\n";
        return exitProject;
    }
    ManifestReadResult read = readSetupManifest(*stored, ManifestReadOptions{.decodeDollarLines = false});
    if (!read.complete) {
        std::cerr << exe.string() << ": the setup manifest ends before its last field\n";
        return exitProject;
    }
    std::string canonical = writeSetupManifest(read.manifest);
    std::string text = writeProjectText(read.manifest, exe.stem().string());
    // The promise is that building the dump gives these manifest bytes; check it rather than trust it.
    try {
        if (writeSetupManifest(parseProject(text, "dump").manifest) != canonical)
            throw std::runtime_error("the project text does not give the same manifest");
    } catch (const std::exception& e) {
        std::cerr << exe.string() << ": the manifest cannot be written as a project: " << e.what() << "\n";
        return exitProject;
    }
    if (canonical != *stored)
        std::cerr << "note: " << exe.string()
                  << " stores its manifest with other line endings or bytes after its last field; "
                     "a build writes the manifest in its own form\n";
    std::cout << text;
    return exitOk;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) return usageError("no command given");
    std::string command = arguments.front();
    arguments.erase(arguments.begin());
    if (command == "build") return build(arguments);
    if (command == "dump") return dump(arguments);
    if (command == "--help" || command == "-h") {
        std::cout << usage;
        return exitOk;
    }
    return usageError("unknown command '" + command + "'");
}
