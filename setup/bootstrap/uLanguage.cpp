#include "uLanguage.h"

#include "bootstrap/asciiText.h"
#include "bootstrap/engineState.h"
#include "bootstrap/engineTexts.h"
#include "bootstrap/translationTables.h"
#include "bootstrap/uSetLanguage.h"
#include "bootstrap/userLocale.h"
#include "bootstrap/winFiles.h"
#include "script/scriptInterpreter.h"

#include <windows.h>

#include <vector>

namespace quillon {

namespace {

constexpr std::string_view TranslationsPrefix = "translations.";

// The language state of the run, from the start of the script to its end.
struct LanguageState {
    // The LANGUAGE whose tables were loaded last; none at the start, so that the first non-empty
    // LANGUAGE loads its tables whatever it is.
    std::optional<std::string> loaded;
    TranslationTables tables;
};

LanguageState& language() {
    static LanguageState state;
    return state;
}

void assignLanguage(ScriptInterpreter& interpreter, const std::string& value) {
    assignVariable(interpreter.variables(), interpreter.rules(), "LANGUAGE", value, "Initialization");
}

// The languages the setup offers: the extensions of the files "translations.*" in the support
// folder, in listing order, without the map, the originals and the shared engine-text files.
std::vector<std::string> offeredLanguages(const std::string& supportFolder) {
    std::vector<std::string> languages;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((supportFolder + "translations.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return languages;
    do {
        std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // A pattern may also match a file through its short name.
        if (!equalsIgnoreCase(std::string_view(name).substr(0, TranslationsPrefix.size()),
                              TranslationsPrefix))
            continue;
        if (equalsIgnoreCase(name, "translations.Map") || equalsIgnoreCase(name, "translations.Original") ||
            name.find("shared") != std::string::npos)
            continue;
        languages.push_back(name.substr(TranslationsPrefix.size()));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return languages;
}

size_t indexOf(const std::vector<std::string>& languages, const std::string& wanted) {
    for (size_t i = 0; i < languages.size(); ++i)
        if (!wanted.empty() && equalsIgnoreCase(languages[i], wanted)) return i;
    return languages.size();
}

// The form's first choice: the locale's default language, else the current language, else the first.
size_t preselection(const std::vector<std::string>& languages, const std::string& current) {
    size_t i = indexOf(languages, userDefaultLanguageName());
    if (i == languages.size()) i = indexOf(languages, current);
    return i == languages.size() ? 0 : i;
}

// The language of the first installation, kept with the product's copy in the instance cache. The
// instance cache does not record an installed revision yet, so there is no such file to read.
std::optional<std::string> firstInstallationLanguage() {
    return std::nullopt;
}

TranslationTables loadTables(const EngineState& e, const std::string& languageName) {
    const std::string& folder = e.supportFolder;
    TranslationFiles files;
    files.dialogs = translationLines(readWholeFile(folder + "translations.Map"));
    files.translated = translationLines(readWholeFile(folder + "translations." + languageName));
    files.originals = translationLines(readWholeFile(folder + "translations.Original"));
    files.keys = translationLines(readWholeFile(folder + e.manifest->title + ".mtx"));
    return TranslationTables(std::move(files));
}

} // namespace

bool selectLanguage(ScriptInterpreter& interpreter) {
    LanguageState& state = language();
    state = {};
    assignLanguage(interpreter, "");
    const EngineState& e = engine();
    if (!fileExists(e.supportFolder + e.manifest->title + ".mtx")) return true;

    std::vector<std::string> languages = offeredLanguages(e.supportFolder);
    if (languages.empty()) return true;
    std::string current;
    if (indexOf(languages, e.manifest->defaultLanguage) < languages.size())
        current = e.manifest->defaultLanguage;

    bool maintenance = truthOf(interpreter.variables().valueOf("MAINTENANCE"));
    bool patch = fileExists(e.supportFolder + e.exeName + ".msp");
    if (e.manifest->askForLanguage == "TRUE" && !maintenance && !patch) {
        size_t chosen = preselection(languages, current);
        if (!e.silent) {
            std::optional<size_t> answer = TSetLanguage::choose(languages, chosen);
            if (!answer) return false;
            chosen = *answer;
        }
        current = languages[chosen];
    }
    if (maintenance || patch) {
        if (std::optional<std::string> first = firstInstallationLanguage()) current = *first;
    }
    assignLanguage(interpreter, current);
    return true;
}

void refreshLanguage(ScriptInterpreter& interpreter) {
    LanguageState& state = language();
    std::string current = interpreter.variables().valueOf("LANGUAGE");
    if (current.empty() || state.loaded == current) return;
    state.loaded = current;
    const EngineState& e = engine();
    try {
        state.tables = loadTables(e, current);
        std::string shared = e.supportFolder + "shared.translations." + current;
        if (fileExists(shared)) applyLanguageFile(readWholeFile(shared), userLanguageName());
    } catch (const std::exception&) {
        state.tables = {};
        assignLanguage(interpreter, "");
    }
}

std::string translateText(const std::string& text, const std::string& key, size_t index) {
    return language().tables.translate(text, key, index, engine().manifest->buildSettings);
}

std::optional<std::string> dialogTranslation(const std::string& dialog, const std::string& control) {
    return language().tables.dialogTranslation(dialog, control);
}

} // namespace quillon
