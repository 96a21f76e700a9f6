// Runs a compiled install script command by command: the main loop with its skip scans and wizard
// loops, the control-flow commands, and dispatch of every other command to its handler.
#pragma once

#include "dialogs/dialogRuntime.h"
#include "script/commandHeaders.h"
#include "script/commandTable.h"
#include "script/scriptModel.h"
#include "script/variableConventions.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

class CommandContext;

// What the interpreter asks of the engine around it. The defaults do nothing, which is what a
// part of the engine that is not there yet amounts to.
class InterpreterHost {
  public:
    virtual ~InterpreterHost() = default;

    virtual void letMessagesThrough() {}
    // Before every command: engine state from the variables SILENT, LOGGED, TITLE and KWIBLOGO,
    // DATE and TIME, the language, the cache variables.
    virtual void refreshBeforeCommand() {}
    virtual DialogRuntime& dialogs() { return noWindows_; }
    virtual bool isPluginCommand(const std::string& /*name*/) const { return false; }
    virtual void runPluginCommand(CommandContext&) {}
    // The translation of a command's localizable parameter (key = parameter 0 or a variable key).
    virtual std::string translate(const std::string& text, const std::string& /*key*/,
                                  size_t /*index*/) const {
        return text;
    }

  private:
    DialogRuntime noWindows_;
};

enum class WizardDirection { Next, Back, Cancel };

class ScriptInterpreter {
  public:
    ScriptInterpreter(const ScriptModel& script, const CommandHeaders& headers, TVariableManager& store,
                      const CommandTable& commands, InterpreterHost& host);

    // The label table: every Label command, disabled or not, by its upper-cased name.
    void buildLabelTable();

    // Runs `startSteps`, then the main loop until the last command or a command that ends the
    // script. An error that escapes either ends the run; its runtime-error text is returned.
    std::optional<std::string> run(const std::function<void()>& startSteps = {});

    // For handlers.
    const ScriptModel& script() const { return script_; }
    const CommandHeaders& headers() const { return headers_; }
    TVariableManager& variables() const { return store_; }
    InterpreterHost& host() const { return host_; }
    AssignmentRules& rules() { return rules_; }
    const AssignmentRules& rules() const { return rules_; }
    size_t position() const { return p_; } // commands taken; the current one is at p - 1

    void endScript() { ended_ = true; }
    void setExitCode(int code) { exitCode_ = code; }
    int exitCode() const { return exitCode_; }

    bool inWizard() const { return inWizard_; }
    void setWizardDirection(WizardDirection direction) { direction_ = direction; }

    // "Win32" until Set 64 Bit Mode chooses "x64" or "ia64".
    const std::string& targetPlatform() const { return targetPlatform_; }
    void setTargetPlatform(std::string platform) { targetPlatform_ = std::move(platform); }

    // Installer property names and values alternating, CR LF written as "$NEWLINE$".
    const std::vector<std::string>& propertyList() const { return propertyList_; }
    void appendProperty(std::string_view name, std::string_view value);
    void setPropertyList(std::vector<std::string> list) { propertyList_ = std::move(list); }

  private:
    bool skipped(size_t command) const; // disabled or "Ignore": passed over by every scan
    bool opener(size_t command) const;
    bool closer(size_t command) const;

    void runMainLoop();
    void scanCurrentBlock(bool atBranch);
    // Moves through the wizard loop; false when the loop was left without a command to run.
    bool moveThroughWizard();
    void leaveWizardAfterNextEnd();
    void takeNextCommand();
    void dispatch();

    bool conditionHolds(const CommandContext& command) const;
    void goToLabel();

    const ScriptModel& script_;
    const CommandHeaders& headers_;
    TVariableManager& store_;
    const CommandTable& commands_;
    InterpreterHost& host_;
    AssignmentRules rules_;

    size_t p_ = 0;
    bool ended_ = false;
    int exitCode_ = 0;
    bool skipToBranch_ = false;
    bool skipToEnd_ = false;
    bool stoppedAtElseIf_ = false; // the skip scan stopped at the Else If taken next
    bool inWizard_ = false;
    WizardDirection direction_ = WizardDirection::Next;
    std::unordered_map<std::string, size_t> labels_;
    std::string lastProgressText_;
    int lastProgress_ = 0;
    std::string targetPlatform_ = "Win32";
    std::vector<std::string> propertyList_;
};

// The runtime-error message: "Runtime error in setup script:", two CR, "Line " + line + ": " + error.
std::string runtimeErrorText(size_t line, std::string_view error);

} // namespace quillon
