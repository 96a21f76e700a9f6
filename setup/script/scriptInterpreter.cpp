#include "scriptInterpreter.h"

#include "bootstrap/asciiText.h"
#include "bootstrap/engineTexts.h"
#include "script/ansiCase.h"
#include "script/commandContext.h"
#include "script/parameterConventions.h"
#include "script/scriptError.h"

namespace quillon {

namespace {

// Window messages get through every this many commands, so long runs of commands that show
// nothing stay cheap.
constexpr size_t MessageInterval = 314;

const std::string If = "If", ElseIf = "Else If", Else = "Else", End = "End", WizardLoop = "Wizard Loop",
                  DisplayDialog = "Display Dialog", Ignore = "Ignore", GoToLabel = "GoTo Label",
                  Label = "Label";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

std::string runtimeErrorText(size_t line, std::string_view error) {
    return engineText(EngineText::RuntimeErrorInSetupScript) + "\r\rLine " + std::to_string(line) + ": " +
           std::string(error);
}

ScriptInterpreter::ScriptInterpreter(const ScriptModel& script, const CommandHeaders& headers,
                                     TVariableManager& store, const CommandTable& commands,
                                     InterpreterHost& host)
    : script_(script), headers_(headers), store_(store), commands_(commands), host_(host) {}

void ScriptInterpreter::buildLabelTable() {
    labels_.clear();
    for (size_t i = 0; i < script_.size(); ++i)
        if (script_.name(i) == Label) labels_.emplace(asciiUppered(script_.parameter(i, 1)), i);
}

void ScriptInterpreter::appendProperty(std::string_view name, std::string_view value) {
    propertyList_.push_back(crLfToNewlineMarker(name));
    propertyList_.push_back(crLfToNewlineMarker(value));
}

std::optional<std::string> ScriptInterpreter::run(const std::function<void()>& startSteps) {
    try {
        if (startSteps) startSteps();
        runMainLoop();
        return std::nullopt;
    } catch (const std::exception& error) {
        return runtimeErrorText(p_, error.what());
    }
}

bool ScriptInterpreter::skipped(size_t command) const {
    return script_.disabled(command) || script_.name(command) == Ignore;
}

bool ScriptInterpreter::opener(size_t command) const {
    return script_.name(command) == If || script_.name(command) == WizardLoop;
}

bool ScriptInterpreter::closer(size_t command) const {
    return script_.name(command) == End;
}

void ScriptInterpreter::runMainLoop() {
    while (!ended_ && p_ < script_.size()) {
        if (p_ % MessageInterval == 0) host_.letMessagesThrough();
        host_.refreshBeforeCommand();
        if (skipToBranch_) {
            skipToBranch_ = false;
            scanCurrentBlock(true);
        }
        if (skipToEnd_) {
            skipToEnd_ = false;
            scanCurrentBlock(false);
        }
        if (inWizard_) {
            if (!moveThroughWizard()) continue;
        } else {
            takeNextCommand();
        }
        dispatch();
    }
}

// Passes over nested blocks to the End that closes the current one, so that the End is taken next;
// with `atBranch`, also to an Else (going on after it) or an Else If (taken next) of the current If.
// Compiled scripts always hold the End a scan looks for; a scan that meets the end of the list
// instead ends the script there.
void ScriptInterpreter::scanCurrentBlock(bool atBranch) {
    size_t depth = 0;
    while (++p_ <= script_.size()) {
        size_t i = p_ - 1;
        if (skipped(i)) continue;
        if (opener(i)) {
            ++depth;
        } else if (closer(i)) {
            if (depth == 0) {
                --p_;
                return;
            }
            --depth;
        } else if (atBranch && depth == 0 && script_.name(i) == Else) {
            return;
        } else if (atBranch && depth == 0 && script_.name(i) == ElseIf) {
            --p_;
            stoppedAtElseIf_ = true;
            return;
        }
    }
}

bool ScriptInterpreter::moveThroughWizard() {
    if (direction_ == WizardDirection::Cancel) {
        leaveWizardAfterNextEnd();
        return false;
    }
    for (;;) {
        if (direction_ == WizardDirection::Back) {
            if (p_ <= 1) { // before the first command: nothing to go back to
                inWizard_ = false;
                p_ = script_.size();
                return false;
            }
            --p_;
        } else if (++p_ > script_.size()) {
            inWizard_ = false;
            return false;
        }
        size_t i = p_ - 1;
        if (skipped(i)) continue;
        const std::string& name = script_.name(i);
        if (name == DisplayDialog) return true;
        if (name == End) { // the loop's End is consumed: execution goes on after it
            inWizard_ = false;
            return false;
        }
        if (name == WizardLoop) { // back past the first dialog, or forward into another loop
            leaveWizardAfterNextEnd();
            return false;
        }
    }
}

void ScriptInterpreter::leaveWizardAfterNextEnd() {
    while (++p_ <= script_.size())
        if (!skipped(p_ - 1) && closer(p_ - 1)) break;
    inWizard_ = false;
}

void ScriptInterpreter::takeNextCommand() {
    while (++p_ <= script_.size())
        if (!skipped(p_ - 1)) return;
}

void ScriptInterpreter::dispatch() {
    if (p_ > script_.size()) return;
    size_t i = p_ - 1;
    if (script_.disabled(i)) return;
    DialogRuntime& dialogs = host_.dialogs();
    assignVariable(store_, rules_, "ABORT", truthText(dialogs.cancelRequested()), "Cancel State");
    if (dialogs.progressWindow) {
        std::string text = store_.valueOf("PROGRESSTEXT");
        int progress = decimalInt32(store_.valueOf("PROGRESS")).value_or(0);
        if (text != lastProgressText_ || progress != lastProgress_) {
            lastProgressText_ = text;
            lastProgress_ = progress;
            dialogs.setProgress(text, progress);
        }
    }
    const std::string& name = script_.name(i);
    bool reachedElseIfBySkip = stoppedAtElseIf_;
    stoppedAtElseIf_ = false;
    if (host_.isPluginCommand(name)) {
        CommandContext command(*this, i);
        host_.runPluginCommand(command);
        return;
    }
    if (name == If || name == ElseIf) {
        if (name == ElseIf && !reachedElseIfBySkip) {
            skipToEnd_ = true; // the branch before it ran
            return;
        }
        CommandContext command(*this, i);
        if (!conditionHolds(command)) skipToBranch_ = true;
    } else if (name == Else) {
        skipToEnd_ = true; // reached only by running the branch before it
    } else if (name == WizardLoop) {
        inWizard_ = true;
        direction_ = WizardDirection::Next;
    } else if (name == GoToLabel) {
        goToLabel();
    } else if (const CommandHandler* handler = commands_.find(name)) {
        CommandContext command(*this, i);
        (*handler)(command);
    }
}

bool ScriptInterpreter::conditionHolds(const CommandContext& command) const {
    // With a language chosen, both texts are translated first.
    std::string variable = command.localizable(command.raw(1), 1),
                value = command.localizable(command.raw(3), 2);
    const std::string& code = command.raw(2);
    bool holds = false;
    if (code == "5") {
        // Written $NAME$ or bare, as the compiler accepts it.
        holds = store_.exists(nameWithOptionalDollars(variable));
    } else {
        std::string left = store_.substitute(command.valueOrEmpty(nameWithOptionalDollars(variable)));
        std::string right = store_.substitute(value);
        auto leftNumber = decimalInt32(left), rightNumber = decimalInt32(right);
        if (leftNumber && rightNumber) {
            if (code == "0" || code == "1" || code == "3" || code == "4")
                holds = *leftNumber == *rightNumber;
            else if (code == "2")
                holds = *leftNumber > *rightNumber;
        } else if (code == "0") {
            holds = left == right;
        } else if (code == "1") {
            holds = contains(left, right);
        } else if (code == "2") {
            holds = left > right; // byte order
        } else if (code == "3") {
            holds = contains(ansiUpper(left), ansiUpper(right));
        } else if (code == "4") {
            holds = ansiUpper(left) == ansiUpper(right);
        }
    }
    return command.boolean(4) ? !holds : holds;
}

void ScriptInterpreter::goToLabel() {
    const std::string& label = script_.parameter(p_ - 1, 1);
    auto found = labels_.find(asciiUppered(label));
    if (found == labels_.end()) throw ScriptError("LABEL undefined: " + label);
    p_ = found->second; // the Label is taken next
    skipToBranch_ = skipToEnd_ = stoppedAtElseIf_ = inWizard_ = false;
    direction_ = WizardDirection::Next;
}

} // namespace quillon
