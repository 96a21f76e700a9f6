#include "engineHost.h"

#include "bootstrap/asciiText.h"
#include "bootstrap/engineState.h"
#include "bootstrap/uLanguage.h"

#include <windows.h>

namespace quillon {

std::string currentDateText() {
    char text[128] = {};
    int length = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text, sizeof(text));
    return length > 0 ? std::string(text) : std::string();
}

std::string currentTimeText() {
    char text[128] = {};
    int length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof(text));
    return length > 0 ? std::string(text) : std::string();
}

void EngineHost::letMessagesThrough() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void EngineHost::refreshBeforeCommand() {
    EngineState& e = engine();
    TVariableManager& store = interpreter_->variables();
    e.silent = truthOf(store.valueOf("SILENT"));
    interpreter_->rules().silent = e.silent;
    e.logPath = store.valueOf("LOGGED");
    e.title = store.valueOf("TITLE");
    e.logoSwitch = store.valueOf("KWIBLOGO") == "TRUE";
    assignVariable(store, interpreter_->rules(), "DATE", currentDateText(), "Initialization");
    assignVariable(store, interpreter_->rules(), "TIME", currentTimeText(), "Initialization");
    refreshLanguage(*interpreter_);
}

bool EngineHost::isPluginCommand(const std::string& name) const {
    for (const std::string& plugin : engine().manifest->pluginCommands)
        if (equalsIgnoreCase(plugin, name)) return true;
    return false;
}

std::string EngineHost::translate(const std::string& text, const std::string& key, size_t index) const {
    return translateText(text, key, index);
}

} // namespace quillon
