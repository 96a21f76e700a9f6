#include "mscriptexec.h"

#include "bootstrap/engineState.h"
#include "bootstrap/supportFolder.h"
#include "bootstrap/traceLog.h"
#include "bootstrap/uLanguage.h"
#include "bootstrap/winFiles.h"
#include "bootstrap/windowsVersion.h"
#include "installer/pendingProperties.h"
#include "script/engineCommands.h"
#include "script/engineHost.h"
#include "script/predefinedVariables.h"
#include "script/rebootCommands.h"
#include "script/scriptCompiler.h"
#include "script/scriptInterpreter.h"

#include <windows.h>

namespace quillon {

namespace {

// Membership of the Administrators group; on Vista and later a token that is not elevated holds the
// group for denial only, so this is false there until the setup runs elevated.
bool administrator() {
    if (!runningOnNtFamily()) return false;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

std::string registeredValue(const char* name) {
    const char* key = runningOnNtFamily() ? "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
                                          : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return {};
    char value[1024] = {};
    DWORD size = sizeof(value) - 1, type = 0;
    bool read = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                    ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ);
    RegCloseKey(handle);
    return read ? std::string(value) : std::string();
}

RunFacts runFacts(const std::string& setupDatabasePath) {
    const EngineState& e = engine();
    RunFacts facts;
    facts.title = e.manifest->title;
    facts.publisher = e.manifest->publisher;
    facts.version = e.manifest->version;
    facts.administrator = administrator();
    facts.engineFile = modulePath(nullptr);
    facts.exeFolder = e.exeFolder;
    facts.rootFolder = folderOfPath(facts.engineFile);
    facts.registeredOwner = registeredValue("RegisteredOwner");
    facts.registeredOrganization = registeredValue("RegisteredOrganization");
    facts.silent = e.silent;
    facts.logPath = e.logPath;
    facts.commandLineRest = e.commandLineRest;
    facts.launcherPath = e.launcherPath;
    facts.groupPolicyPath = e.groupPolicyPath;
    facts.date = currentDateText();
    facts.time = currentTimeText();
    facts.tempFolder = e.tempFolder;
    facts.supportFolder = e.supportFolder;
    facts.setupDatabasePath = setupDatabasePath;
    return facts;
}

// Errors are ignored: a missing entry is the usual case.
void removeResumeEntry() {
    std::string name = resumeValueName();
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
}

// Each change command's header starts switched off.
void switchChangeCommandsOff(ScriptInterpreter& interpreter) {
    for (size_t i = 0; i < interpreter.script().size(); ++i) {
        std::string header = interpreter.headers().lenientHeaderOf(i);
        if (header.empty()) continue;
        setInstallerProperty("A" + header, "FALSE");
        interpreter.appendProperty("A" + header, "FALSE");
    }
}

bool setupDatabaseFound(const std::string& path) {
    if (!path.empty() && fileExists(path)) return true;
    size_t dot = path.find_last_of('.'), slash = path.find_last_of('\\');
    std::string base = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                           ? path.substr(0, dot)
                           : path;
    return !path.empty() && fileExists(base + ".msp");
}

// When the engine ran from removable or network media that is gone now, nothing can be read from
// its file any more: the engine's own end is completed here.
void endWhenMediaRemoved(const TVariableManager& store) {
    std::string exeFolder = store.valueOf("EXEDIR");
    if (exeFolder.size() < 3) return;
    std::string root = exeFolder.substr(0, 3);
    if (exeFolder.substr(0, 2) == "\\\\") root = exeFolder;
    if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED || folderExists(exeFolder)) return;
    trace("  </RunScript>");
    trace("  <Free>");
    trace("  </Free>");
    trace("  <CachedSupportDir>");
    deleteSupportFolder(engine().supportFolder);
    trace("  </CachedSupportDir>");
    trace("  <RemovableMediaPrematureEject>");
    trace("  </RemovableMediaPrematureEject>");
    trace("</Quillon>");
    ExitProcess(static_cast<UINT>(engine().exitCode));
}

void showRuntimeError(const std::string& text) {
    if (engine().silent) return;
    MessageBoxA(nullptr, text.c_str(), wizardTitle(engine().title, engine().logoSwitch).c_str(),
                MB_OK | MB_ICONERROR);
}

} // namespace

ScriptOutcome runScript(const ScriptLists& lists) {
    EngineState& e = engine();
    SetFileApisToANSI();
    ScriptModel script(lists.commands, lists.keys, lists.disabledFlags, lists.mediaFolders,
                       {lists.parameterStores.begin(), lists.parameterStores.end()});
    CommandHeaders headers(e.manifest->commandHeaders);
    TVariableManager& store = variables();
    EngineHost host;
    ScriptInterpreter interpreter(script, headers, store, engineCommands(), host);
    host.attach(interpreter);
    interpreter.rules() = {e.silent, &e.overrides};

    trace("    <Variables>");
    trace("    </Variables>");
    trace("    <CompileScript>");
    std::vector<std::string> labels;
    // The compiler only makes names known. Under the silent run's rule a name given on the command
    // line would not be defined, and a script reading it would fail to compile.
    if (!compileScript(script, store, AssignmentRules{}, labels).accepted())
        return ScriptOutcome::CompileFailure;
    trace("    </CompileScript>");

    store.clear();
    clearPendingInstallerProperties();
    RunFacts facts = runFacts(lists.setupDatabasePath);
    putProgressVariables(store);
    putPreInitializationVariables(store, interpreter.rules(), facts);
    trace("    <BootStrap>");
    trace("    </BootStrap>");
    interpreter.buildLabelTable();
    if (!setupDatabaseFound(lists.setupDatabasePath)) return ScriptOutcome::Ended;

    trace("    <kwib>");
    bool languageChosen = true;
    std::optional<std::string> error = interpreter.run([&] {
        putInitializationVariables(store, interpreter.rules(), facts);
        removeResumeEntry();
        switchChangeCommandsOff(interpreter);
        languageChosen = selectLanguage(interpreter);
        if (!languageChosen) {
            interpreter.endScript();
            return;
        }
        for (const auto& [name, value] : e.overrides)
            assignVariable(store, interpreter.rules(), name, value, InjectOverrideContext);
    });
    e.exitCode = interpreter.exitCode();
    if (error) {
        showRuntimeError(*error);
    } else if (languageChosen) {
        trace("    </kwib>");
        trace("    <ExitScript>");
        trace("    </ExitScript>");
    }
    endWhenMediaRemoved(store);
    return ScriptOutcome::Ended;
}

} // namespace quillon
