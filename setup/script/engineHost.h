// The engine around the interpreter: its message queue, the engine state a script may change
// through variables, and the language of the run.
#pragma once

#include "script/scriptInterpreter.h"

#include <string>

namespace quillon {

class EngineHost : public InterpreterHost {
  public:
    void attach(ScriptInterpreter& interpreter) { interpreter_ = &interpreter; }

    void letMessagesThrough() override;
    void refreshBeforeCommand() override;
    bool isPluginCommand(const std::string& name) const override;
    std::string translate(const std::string& text, const std::string& key, size_t index) const override;

  private:
    ScriptInterpreter* interpreter_ = nullptr;
};

// Now in the user's short date and long time formats.
std::string currentDateText();
std::string currentTimeText();

} // namespace quillon
