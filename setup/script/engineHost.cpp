#include "engineHost.h"

#include "bootstrap/asciiText.h"
#include "bootstrap/engineState.h"
#include "bootstrap/uLanguage.h"

#include <windows.h>

#include <cstring>

namespace quillon {

namespace {

// DATE and TIME are refreshed before every command; formatting them is most of that cost, so the
// texts are formatted again only when the clock has moved on to another second.
struct ClockTexts {
    SYSTEMTIME at{};
    std::string date, time;
    bool formatted = false;
};

const ClockTexts& clockTexts() {
    static ClockTexts texts;
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wMilliseconds = 0;
    if (texts.formatted && std::memcmp(&now, &texts.at, sizeof(now)) == 0) return texts;
    char text[128] = {};
    int length = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, text, sizeof(text));
    texts.date = length > 0 ? std::string(text) : std::string();
    length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, text, sizeof(text));
    texts.time = length > 0 ? std::string(text) : std::string();
    texts.at = now;
    texts.formatted = true;
    return texts;
}

} // namespace

std::string currentDateText() {
    return clockTexts().date;
}

std::string currentTimeText() {
    return clockTexts().time;
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
