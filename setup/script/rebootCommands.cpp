#include "rebootCommands.h"

#include "bootstrap/engineState.h"
#include "bootstrap/windowsVersion.h"
#include "script/commandContext.h"
#include "script/scriptInterpreter.h"

#include <windows.h>

namespace quillon {

namespace {

const char* const RunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\";

// Failures are ignored: the script ends either way.
void requestReboot() {
    if (runningOnNtFamily()) {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            TOKEN_PRIVILEGES privileges{};
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
                AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
            CloseHandle(token);
        }
    }
    ExitWindowsEx(EWX_REBOOT, 0);
}

void writeResumeEntry(bool allUsers) {
    const EngineState& e = engine();
    std::string command = e.launcherPath.empty() ? e.exeFolder + e.exeName + ".exe" : e.launcherPath;
    if (!e.commandLineRest.empty()) command += " " + e.commandLineRest;
    HKEY key = nullptr;
    if (RegCreateKeyExA(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, RunKey, 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, resumeValueName().c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);
}

} // namespace

std::string resumeValueName() {
    const EngineState& e = engine();
    return e.manifest ? e.manifest->productCode.substr(std::min<size_t>(1, e.manifest->productCode.size()), 8)
                      : std::string();
}

void addRebootCommands(CommandTable& table) {
    table.add("Reboot Computer", [](CommandContext& command) {
        requestReboot();
        command.interpreter().endScript();
    });
    table.add("Reboot and Resume", [](CommandContext& command) {
        writeResumeEntry(truthOf(command.valueOrEmpty("ALLUSERS")));
        requestReboot();
        command.interpreter().endScript();
    });
}

} // namespace quillon
