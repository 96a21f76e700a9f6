// The setup engine's entry: reads the command line, shows the start-up windows, prepares the run,
// loads the wizard's dialogs, runs the install script and cleans up.
#include "bootstrap/engineState.h"
#include "bootstrap/engineTexts.h"
#include "bootstrap/setupPayload.h"
#include "bootstrap/supportFolder.h"
#include "bootstrap/traceLog.h"
#include "bootstrap/uSetupInit.h"
#include "bootstrap/uSetupSplash.h"
#include "bootstrap/userLocale.h"
#include "bootstrap/winFiles.h"
#include "dialogs/uDlgAPI.h"
#include "script/mscriptexec.h"
#include "script/scriptModel.h"

#include <windows.h>

#include <memory>
#include <optional>

namespace quillon {

namespace {

const char* const DisplayDialog = "Display Dialog";

void restrictToFirstProcessor() {
    using SetAffinity = BOOL(WINAPI*)(HANDLE, DWORD_PTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setAffinity = kernel ? reinterpret_cast<SetAffinity>(
                                    reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessAffinityMask")))
                              : nullptr;
    if (setAffinity) setAffinity(GetCurrentProcess(), 1);
}

void locateEngine() {
    EngineState& e = engine();
    std::string self = modulePath(nullptr);
    size_t slash = self.find_last_of('\\');
    e.exeFolder = self.substr(0, slash + 1);
    std::string file = self.substr(slash + 1);
    size_t dot = file.find_last_of('.');
    e.exeName = dot == std::string::npos ? file : file.substr(0, dot);

    char temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(MAX_PATH, temp);
    e.tempFolder = withBackslash(length ? std::string(temp, length) : e.exeFolder);
    createFolderTree(e.tempFolder);
    e.resourcePath = e.exeFolder + e.exeName + ".res";
}

// The language file travels appended to qov.lib.
void readEngineLanguageFile() {
    std::string library = engine().exeFolder + "qov.lib";
    if (!fileExists(library)) return;
    try {
        std::string contents = appendedDataOf(library);
        if (!contents.empty()) applyLanguageFile(contents, userLanguageName());
    } catch (const std::exception&) {
        // An unreadable language file leaves the built-in texts in effect.
    }
}

void readCommandLine() {
    EngineState& e = engine();
    std::string raw = GetCommandLineA();
    std::vector<std::string> arguments = splitCommandLine(raw);
    if (!arguments.empty()) arguments.erase(arguments.begin());
    EngineCommandLine line = parseEngineCommandLine(arguments, raw);
    e.silent = line.silent;
    e.noStartupWindows = line.noStartupWindows;
    e.groupPolicyPath = line.groupPolicyPath;
    e.launcherPath = line.launcherPath;
    e.logPath = line.logPath;
    e.sourcePath = line.sourcePath;
    e.commandLineRest = line.rest;
    e.overrides = std::move(line.overrides);
}

struct StartupWindows {
    std::unique_ptr<TSetupSplash> splash;
    std::unique_ptr<TSetupInit> preparing;

    void open(const std::string& picture) {
        splash = std::make_unique<TSetupSplash>();
        preparing = std::make_unique<TSetupInit>();
        engine().preparingWindow = preparing->handle();
        if (fileExists(picture) && splash->loadPicture(picture)) {
            splash->centreOnScreen();
            splash->show();
            splash->repaint();
            placeBelow(splash->bounds());
        } else {
            preparing->centreOnScreen();
        }
        preparing->show();
        preparing->repaint();
    }

    // Below the splash, right of its centre, pulled back onto the screen.
    void placeBelow(RECT s) {
        RECT p = preparing->bounds();
        int width = p.right - p.left, height = p.bottom - p.top;
        int left = s.left + (s.right - s.left) / 2 + 50, top = s.top + (s.bottom - s.top) + 25;
        int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
        if (top > screenHeight - 45 - height) top = screenHeight - 45 - height;
        if (left > screenWidth - 25 - width) left = screenWidth - 25 - width;
        preparing->moveTo(left, top);
    }

    void repaint() {
        if (preparing) preparing->repaint();
        if (splash && splash->visible()) splash->repaint();
    }

    void close() {
        engine().preparingWindow = nullptr;
        if (preparing) preparing->hide();
        preparing.reset();
        if (splash && splash->visible()) splash->hide();
        splash.reset();
    }
};

void loadDialogs(StartupWindows& windows) {
    EngineState& e = engine();
    trace("    <Dialogs>");
    const SetupManifest& m = *e.manifest;
    ScriptModel script(m.commands, m.keys, m.disabledFlags, m.mediaFolders,
                       {e.parameterStores.begin(), e.parameterStores.end()});
    std::vector<size_t> dialogs;
    for (size_t i = 0; i < script.size(); ++i)
        if (script.name(i) == DisplayDialog && !script.disabled(i)) dialogs.push_back(i);
    if (windows.preparing) {
        windows.preparing->setProgressRange(0, static_cast<int>(dialogs.size()));
        windows.preparing->setProgressPosition(1);
        windows.preparing->repaint();
    }
    initDialogRuntime(e.supportFolder);
    for (size_t position : dialogs) {
        loadDialog(std::to_string(position), e.supportFolder + script.parameter(position, 1) + ".dfm");
        if (windows.preparing) {
            windows.preparing->stepProgress();
            windows.repaint();
        }
    }
    trace("    </Dialogs>");
}

void cleanUp() {
    trace("  <CachedSupportDir>");
    deleteSupportFolder(engine().supportFolder);
    trace("  </CachedSupportDir>");
    trace("</Quillon>");
}

int runEngine() {
    EngineState& e = engine();
    restrictToFirstProcessor();
    locateEngine();
    readEngineLanguageFile();
    readCommandLine();
    trace("<Quillon>");
    trace("  <SetupSplash>");

    StartupWindows windows;
    try {
        if (e.startupWindowsWanted()) windows.open(e.exeFolder + "setup.bmp");
        readSetupManifestFromEngine();
        createSupportFolder();
        extractSetupResource();
        copySetupDatabase();
        e.mediaFolder = e.originalMediaFolder = e.exeFolder + "data\\";
        loadDialogs(windows);
        windows.close();
        trace("  </SetupSplash>");
        trace("  <RunScript>");
        ScriptOutcome outcome =
            runScript({e.manifest->commands, e.manifest->keys, e.manifest->disabledFlags,
                       e.manifest->mediaFolders, e.parameterStores, e.setupDatabasePath()});
        if (outcome == ScriptOutcome::CompileFailure) {
            // Nothing ran. The support folder goes all the same: left behind it would only fill the
            // temp folder.
            deleteSupportFolder(e.supportFolder);
            return ExitCompileFailure;
        }
        trace("  </RunScript>");
        trace("  <Free>");
        e.parameterStores.clear();
        e.manifest.reset();
        trace("  </Free>");
    } catch (const StartupExit& failure) {
        showEngineError(failure.what());
        return failure.exitCode();
    } catch (const std::exception& failure) {
        showEngineError(engineText(EngineText::RuntimeErrorInInstall) + failure.what());
        e.exitCode = ExitRuntimeError;
    }
    windows.close();
    cleanUp();
    return e.exitCode;
}

} // namespace

} // namespace quillon

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ExitProcess(static_cast<UINT>(quillon::runEngine()));
}
