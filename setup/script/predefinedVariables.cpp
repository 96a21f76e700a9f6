#include "predefinedVariables.h"

namespace quillon {

namespace {

constexpr std::string_view Initialization = "Initialization";

} // namespace

std::string folderOfPath(const std::string& path) {
    size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string fileNameOfPath(const std::string& path) {
    size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void putProgressVariables(TVariableManager& store) {
    store.put("KWIB_thProgress", "0");
    store.put("KWIB_thMax", "100");
    store.put("KWIB_thMin", "0");
    store.put("KWIB_thProgressText", "");
    store.put("KWIB_thFinished", "FALSE");
    store.put("KWIB_thCancelled", "FALSE");
}

void putPreInitializationVariables(TVariableManager& store, const AssignmentRules& rules,
                                   const RunFacts& facts) {
    const std::string_view context = "Pre-Initialization";
    assignVariable(store, rules, "TARGETDIR", "", context);
    assignVariable(store, rules, "STARTMENU", facts.title, context);
    assignVariable(store, rules, "ALLUSERS", truthText(facts.administrator), context);
}

void putInitializationVariables(TVariableManager& store, const AssignmentRules& rules,
                                const RunFacts& facts) {
    auto set = [&](std::string_view name, std::string_view value) {
        assignVariable(store, rules, name, value, Initialization);
    };
    set("KWIB_COMPRESS_INSTALLER_CACHE", "TRUE");
    set("KWIB_DISABLE_ROLLBACK", "FALSE");
    set("KWIB_DISABLE_VISTA_RESTART_MANAGER", "FALSE");
    set("IISHOST", "localhost");
    if (!store.exists("OVERRIDECACHE")) set("OVERRIDECACHE", "");
    set("KWIBLOGO", "");
    set("SELECTED", "0");
    set("WINDOWHANDLE", "0");
    set("EXEFILE", facts.engineFile);
    set("EXEDIR", facts.exeFolder);
    set("PROGRESSTEXT", "");
    set("PROGRESSMODE", "");
    set("ABORT", "FALSE");
    set("PROGRESS", "0");
    set("LASTERROR", "");
    set("LICENSE", "FALSE");
    set("USERNAME", facts.registeredOwner);
    set("USERCOMPANY", facts.registeredOrganization);
    set("COPYWEBLOCK", "");
    set("REBOOTCOMPUTER", "FALSE");
    set("RUNAPP", "TRUE");
    set("WIZARD", "NEXT");
    set("VERSION", facts.version);
    set("SILENT", truthText(facts.silent));
    set("LOGGED", facts.logPath);
    set("CMDLINE", facts.commandLineRest);
    set("REBOOTNOW", "OK");
    set("SFXPATH", folderOfPath(facts.launcherPath));
    set("SFXFILE", fileNameOfPath(facts.launcherPath));
    set("GPOPATH", folderOfPath(facts.groupPolicyPath));
    set("COMPLETE", "TRUE");
    set("NEWLINE", "\r\n");
    set("MINIMUM", "FALSE");
    set("PERSONALIZED", "FALSE");
    set("MODIFY", "TRUE");
    set("REPAIR", "FALSE");
    set("REMOVE", "FALSE");
    set("ROOTDIR", facts.rootFolder);
    set("TITLE", facts.title);
    set("COMPANY", facts.publisher);
    set("ADVERTISE", "FALSE");
    set("DATE", facts.date);
    set("TIME", facts.time);
    set("TEMPDIR", facts.tempFolder);
    set("SUPPORTDIR", facts.supportFolder);
    set("MSIFILE", facts.setupDatabasePath);
}

} // namespace quillon
