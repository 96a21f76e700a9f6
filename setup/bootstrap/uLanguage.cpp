#include "uLanguage.h"

#include "script/scriptInterpreter.h"

namespace quillon {

// Translation tables come with the language support; until then a run is untranslated.
bool selectLanguage(ScriptInterpreter& interpreter) {
    assignVariable(interpreter.variables(), interpreter.rules(), "LANGUAGE", "", "Initialization");
    return true;
}

void refreshLanguage(ScriptInterpreter&) {}

std::string translateText(const std::string& text, const std::string&, size_t) {
    return text;
}

} // namespace quillon
