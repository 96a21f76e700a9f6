#include "systemStringCommands.h"

#include "bootstrap/engineState.h"
#include "commands/wow64FileView.h"
#include "script/commandContext.h"
#include "script/parameterConventions.h"
#include "script/scriptInterpreter.h"
#include "script/variableConventions.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace quillon {

namespace {

// ---- Convert Path

// The 8.3 form of an existing path; "" when the path does not exist or its short form does not fit
// the 260 characters of a path.
std::string shortForm(const std::string& path) {
    char buffer[MAX_PATH] = {};
    DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

struct FindCloser {
    void operator()(HANDLE search) const { FindClose(search); }
};

// The name of the entry as stored on disk. A wildcard would match some other entry, so a path that
// holds one is not looked up.
std::optional<std::string> nameOnDisk(const std::string& path) {
    if (path.find_first_of("*?") != std::string::npos) return std::nullopt;
    WIN32_FIND_DATAA found{};
    HANDLE handle = FindFirstFileA(path.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::unique_ptr<void, FindCloser> search(handle);
    return std::string(found.cFileName);
}

// Each level of the path in the spelling it has on disk, from the root down; a level that is not
// found ends the conversion there and keeps the path as given from that level up.
std::string longForm(std::string path) {
    std::erase(path, '"');
    if (path.empty()) return path;
    if (path.back() == '\\') path.pop_back();
    size_t split = path.find_last_of("\\:");
    std::string folder = split == std::string::npos ? std::string() : path.substr(0, split + 1);
    if (folder == path) return path;
    std::string convertedFolder = longForm(folder);
    std::optional<std::string> name = nameOnDisk(path);
    if (!name) return path;
    // The separator the folder part had: none after a drive letter's colon or for a bare name, so
    // that "C:name" and "name" stay relative.
    bool backslash = !folder.empty() && folder.back() == '\\';
    return convertedFolder + (backslash ? "\\" : "") + *name;
}

void convertPath(CommandContext& command) {
    Wow64FileView view(command.interpreter().targetPlatform());
    const std::string& name = command.raw(1);
    std::string path = command.variablePathText(name);
    command.assignResult(name, command.boolean(2) ? shortForm(path) : longForm(path));
}

// ---- Get Temporary File

// The file is created empty by the system in the engine's temporary folder as it was at start-up;
// "" when that fails.
void getTemporaryFile(CommandContext& command) {
    Wow64FileView view(command.interpreter().targetPlatform());
    char path[MAX_PATH] = {};
    bool created = GetTempFileNameA(engine().tempFolder.c_str(), "qov", 0, path) != 0;
    command.assignResult(nameWithOptionalDollars(command.raw(1)),
                         created ? std::string(path) : std::string());
}

// ---- Get Environment

constexpr DWORD ExpansionBufferSize = 0x41000;

// "" when the expansion fails or needs more than the buffer.
std::string expanded(const std::string& name) {
    std::vector<char> buffer(ExpansionBufferSize);
    std::string reference = "%" + name + "%";
    DWORD needed = ExpandEnvironmentStringsA(reference.c_str(), buffer.data(), ExpansionBufferSize);
    if (needed == 0 || needed > ExpansionBufferSize) return {};
    return std::string(buffer.data());
}

struct EnvironmentBlockFree {
    void operator()(char* block) const { FreeEnvironmentStringsA(block); }
};

// Every NAME=VALUE entry of the process's environment block in its order, joined by the newline
// marker.
std::string wholeEnvironment() {
    std::unique_ptr<char, EnvironmentBlockFree> block(GetEnvironmentStringsA());
    std::string joined;
    if (!block) return joined;
    for (const char* entry = block.get(); *entry; entry += std::strlen(entry) + 1) {
        if (!joined.empty()) joined += NewlineMarker;
        joined += entry;
    }
    return joined;
}

void getEnvironment(CommandContext& command) {
    Wow64FileView view(command.interpreter().targetPlatform());
    std::string name = command.substituted(1);
    command.assignResult(nameWithOptionalDollars(command.raw(2)),
                         name.empty() ? wholeEnvironment() : expanded(name));
}

} // namespace

void addSystemStringCommands(CommandTable& table) {
    table.add("Convert Path", convertPath);
    table.add("Get Temporary File", getTemporaryFile);
    table.add("Get Environment", getEnvironment);
}

} // namespace quillon
