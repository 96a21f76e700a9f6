#include "engineState.h"

namespace quillon {

EngineState& engine() {
    static EngineState state;
    return state;
}

std::string wizardTitle(const std::string& title, bool logoSwitch) {
    static const std::string product = "Quillon", wizard = " Wizard";
    if (logoSwitch) return title;
    if (title.empty()) return product + wizard;
    return title + " - " + product + wizard;
}

void showEngineError(const std::string& text) {
    if (engine().silent) return;
    // Empty during start-up: the script's variables do not exist yet.
    std::string caption = wizardTitle(engine().title, engine().logoSwitch);
    MessageBoxA(engine().preparingWindow, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

} // namespace quillon
