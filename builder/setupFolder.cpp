#include "setupFolder.h"

#include "bootstrap/asciiText.h"
#include "bootstrap/peImage.h"
#include "childProcess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <system_error>

namespace quillon::builder {

namespace fs = std::filesystem;

namespace {

std::string quotedPath(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) throw ToolError("cannot open " + quotedPath(path));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError("cannot read " + quotedPath(path));
    return bytes;
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw ToolError("cannot write " + quotedPath(path));
}

std::string byteCount(uint64_t size) {
    return std::to_string(size) + " bytes";
}

std::string fileCountText(size_t count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

// An engine file as the build appends to it: a whole PE image with nothing after it yet.
std::string engineFile(const fs::path& path) {
    if (!fs::is_regular_file(path))
        throw ToolError("engine file " + quotedPath(path) +
                        " not found (give --engine-dir or QUILLON_ENGINE_DIR)");
    std::string bytes = readFile(path);
    std::optional<uint64_t> end = peImageEnd(bytes);
    if (!end) throw ToolError(quotedPath(path) + " is not a Windows executable image");
    if (*end > bytes.size())
        throw ToolError(quotedPath(path) + " is cut short: its sections end at byte " + std::to_string(*end) +
                        " of " + std::to_string(bytes.size()));
    if (*end < bytes.size())
        throw ToolError(
            quotedPath(path) + " already carries " + byteCount(bytes.size() - *end) +
            " of appended data; the engine folder must hold a fresh engine build, not a built setup");
    return bytes;
}

void runTool(const std::vector<std::string>& arguments, const fs::path& workingDir) {
    ProcessResult result;
    try {
        result = runProcess(arguments, workingDir);
    } catch (const std::system_error& e) {
        throw ToolError(e.what());
    }
    if (result.exitCode != 0)
        throw ToolError(arguments[0] + " failed (exit status " + std::to_string(result.exitCode) + "):\n" +
                        result.output);
}

bool isWithin(const fs::path& inner, const fs::path& outer) {
    fs::path relative = inner.lexically_relative(outer);
    return !relative.empty() && *relative.begin() != "..";
}

fs::path canonicalPath(const fs::path& path) {
    return fs::weakly_canonical(fs::absolute(path));
}

// What a build puts into its folder; an existing folder holding anything else is not replaced.
bool madeByBuild(const fs::directory_entry& entry) {
    std::string name = asciiLowered(entry.path().filename().string());
    if (entry.is_directory()) return name == "data";
    std::string extension = asciiLowered(entry.path().extension().string());
    return extension == ".exe" || extension == ".lib" || extension == ".res" || extension == ".msi" ||
           extension == ".msp" || extension == ".bmp";
}

// `copiedDirs` are the project folders the build copies; the staging folder must not lie in them.
void checkOutputFolder(const BuildPaths& paths, const std::vector<fs::path>& copiedDirs) {
    const fs::path& out = paths.outDir;
    if (fs::exists(out) && !fs::is_directory(out))
        throw OutputFolderError(quotedPath(out) + " exists and is not a folder");
    fs::path outPath = canonicalPath(out);
    if (isWithin(canonicalPath(paths.projectDir), outPath))
        throw OutputFolderError("the output folder " + quotedPath(out) +
                                " holds the project; replacing it would "
                                "delete the project");
    for (const auto& dir : copiedDirs)
        if (isWithin(outPath, canonicalPath(dir)))
            throw OutputFolderError("the output folder " + quotedPath(out) + " lies inside " +
                                    quotedPath(dir) + ", which the build copies");
    if (!fs::exists(out)) return;
    for (const auto& entry : fs::directory_iterator(out))
        if (!madeByBuild(entry))
            throw OutputFolderError(quotedPath(out) + " holds " + quotedPath(entry.path().filename()) +
                                    ", which no build makes; refusing to replace the folder");
}

// A fresh folder beside the destination, removed again unless it was moved into place.
class StagingFolder {
  public:
    explicit StagingFolder(const fs::path& destination) {
        fs::create_directories(destination.parent_path());
        std::string pattern = destination.string() + ".tmp-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw ToolError("cannot make a folder beside " + quotedPath(destination) + ": " +
                            std::strerror(errno));
        path_ = pattern;
        // mkdtemp makes the folder private; the setup folder gets the usual permissions.
        mode_t mask = umask(0);
        umask(mask);
        fs::permissions(path_, static_cast<fs::perms>(0777 & ~mask));
    }
    ~StagingFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const fs::path& path() const { return path_; }

    // Puts the folder at `destination`; a folder there before is removed once the new one is in place.
    void moveTo(const fs::path& destination) {
        std::error_code ignored;
        if (!fs::exists(destination)) {
            fs::rename(path_, destination);
            path_.clear();
            return;
        }
        // Swapping both names at once never leaves the destination missing; file systems without the
        // exchange get the old folder moved aside first.
        if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) == 0) return;
        if (errno != EINVAL && errno != ENOSYS)
            throw ToolError("cannot replace " + quotedPath(destination) + ": " + std::strerror(errno));
        StagingFolder aside(destination);
        fs::rename(destination, aside.path());
        fs::rename(path_, destination);
        path_.clear();
    }

  private:
    fs::path path_;
};

size_t fileCount(const fs::path& folder) {
    return static_cast<size_t>(
        std::count_if(fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator(),
                      [](const fs::directory_entry& e) { return e.is_regular_file(); }));
}

class FolderAssembler {
  public:
    FolderAssembler(const Project& project, const BuildPaths& paths) : project_(project), paths_(paths) {}

    std::vector<std::string> run() {
        fs::path supportDir = projectEntry(project_.supportFiles, true);
        fs::path database = projectEntry(project_.database, false);
        fs::path patch = projectEntry(project_.databasePatch, false);
        fs::path languageFile = projectEntry(project_.languageFile, false);
        std::string engine = engineFile(paths_.engineDir / "setup.exe");
        std::string library = engineFile(paths_.engineDir / "qov.lib");
        fs::path dataDir = paths_.projectDir / "data";
        bool hasData = fs::is_directory(dataDir);
        std::vector<fs::path> copiedDirs;
        if (!supportDir.empty()) copiedDirs.push_back(supportDir);
        if (hasData) copiedDirs.push_back(dataDir);
        checkOutputFolder(paths_, copiedDirs);

        StagingFolder staging(paths_.outDir);
        stage_ = staging.path();
        addEngine(engine);
        addLibrary(library, languageFile);
        if (!supportDir.empty()) addSupportArchive(supportDir);
        if (!database.empty()) addDatabase(database);
        if (!patch.empty()) copyIn(patch, project_.name + ".msp", project_.databasePatch.path);
        if (fs::is_regular_file(paths_.projectDir / "setup.bmp"))
            copyIn(paths_.projectDir / "setup.bmp", "setup.bmp", "setup.bmp");
        if (hasData) addData(dataDir);
        staging.moveTo(paths_.outDir);
        return std::move(summary_);
    }

  private:
    fs::path projectEntry(const ProjectPath& at, bool folder) const {
        if (at.path.empty()) return {};
        fs::path path = paths_.projectDir / at.path;
        if (folder ? !fs::is_directory(path) : !fs::is_regular_file(path))
            throw project_.error(at, std::string(folder ? "folder '" : "file '") + at.path +
                                         "' not found in the project folder");
        return path;
    }

    void note(const std::string& file, const std::string& what) { summary_.push_back(file + ": " + what); }

    void addEngine(const std::string& engine) {
        std::string manifest = writeSetupManifest(project_.manifest);
        std::string exeName = project_.name + ".exe";
        writeFile(stage_ / exeName, engine + manifest);
        note(exeName, byteCount(engine.size() + manifest.size()) + " (engine " + byteCount(engine.size()) +
                          " + manifest " + byteCount(manifest.size()) + ", " +
                          std::to_string(project_.manifest.commands.size()) + " commands)");
    }

    void addLibrary(const std::string& library, const fs::path& languageFile) {
        if (languageFile.empty()) {
            writeFile(stage_ / "qov.lib", library);
            note("qov.lib", byteCount(library.size()));
            return;
        }
        std::string language = readFile(languageFile);
        writeFile(stage_ / "qov.lib", library + language);
        note("qov.lib", byteCount(library.size() + language.size()) + " (library + language file " +
                            project_.languageFile.path + ", " + byteCount(language.size()) + ")");
    }

    // The archive holds the folder's contents, named relative to it. "./" keeps names starting with
    // '-' or '@' from reading as switches or list files, and -spd keeps '*' and '?' literal.
    void addSupportArchive(const fs::path& supportDir) {
        std::vector<std::string> entries;
        for (const auto& entry : fs::directory_iterator(supportDir))
            entries.push_back("./" + entry.path().filename().string());
        std::sort(entries.begin(), entries.end());
        std::string archiveName = project_.name + ".res";
        // Normal compression (LZMA2, solid). A fixed thread count keeps the output the same on every
        // machine, and without time stamps two builds of one project are identical.
        std::vector<std::string> arguments = {"7zz",      "a",        "-t7z",     "-mx=5", "-mmt=2",
                                              "-mtm=off", "-mtc=off", "-mta=off", "-spd",  "-bd",
                                              (stage_ / archiveName).string(), "--"};
        arguments.insert(arguments.end(), entries.begin(), entries.end());
        runTool(arguments, supportDir);
        note(archiveName, byteCount(fs::file_size(stage_ / archiveName)) + " (" +
                              fileCountText(fileCount(supportDir)) + " from " + project_.supportFiles.path +
                              ")");
    }

    void addDatabase(const fs::path& database) {
        std::string extension = asciiLowered(database.extension().string());
        if (extension != ".wxs") return copyIn(database, project_.name + extension, project_.database.path);
        std::string msiName = project_.name + ".msi";
        runTool({"wixl", "-a", "x86", "-o", (stage_ / msiName).string(), database.filename().string()},
                database.parent_path());
        note(msiName, byteCount(fs::file_size(stage_ / msiName)) + " (wixl " + project_.database.path + ")");
    }

    void copyIn(const fs::path& from, const std::string& name, const std::string& shownAs) {
        fs::copy_file(from, stage_ / name);
        note(name, byteCount(fs::file_size(stage_ / name)) + " (copy of " + shownAs + ")");
    }

    void addData(const fs::path& data) {
        fs::copy(data, stage_ / "data", fs::copy_options::recursive);
        note("data\\", fileCountText(fileCount(stage_ / "data")));
    }

    const Project& project_;
    const BuildPaths& paths_;
    fs::path stage_;
    std::vector<std::string> summary_;
};

} // namespace

std::vector<std::string> buildSetupFolder(const Project& project, const BuildPaths& paths) {
    // The staging folder goes beside the output folder, so its name must be complete: "out/" is "out".
    BuildPaths absolutePaths = paths;
    absolutePaths.outDir = fs::absolute(paths.outDir).lexically_normal();
    if (!absolutePaths.outDir.has_filename()) absolutePaths.outDir = absolutePaths.outDir.parent_path();
    try {
        return FolderAssembler(project, absolutePaths).run();
    } catch (const fs::filesystem_error& e) {
        throw ToolError(e.what());
    }
}

std::optional<std::string> appendedManifest(const fs::path& setupExe) {
    std::string bytes = readFile(setupExe);
    std::optional<uint64_t> end = peImageEnd(bytes);
    if (!end || *end >= bytes.size()) return std::nullopt;
    return bytes.substr(*end);
}

} // namespace quillon::builder
