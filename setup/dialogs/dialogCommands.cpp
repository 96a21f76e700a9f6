#include "dialogCommands.h"

#include "bootstrap/asciiText.h"
#include "dialogs/dialogRuntime.h"
#include "script/commandContext.h"
#include "script/parameterConventions.h"
#include "script/scriptInterpreter.h"

namespace quillon {

namespace {

void setWindowHandle(CommandContext& command, uintptr_t window, std::string_view context) {
    assignVariable(command.variables(), command.interpreter().rules(), "WINDOWHANDLE", std::to_string(window),
                   context);
}

std::string resultText(const DialogRuntime::Shown& shown) {
    switch (shown.result) {
    case DialogRuntime::NotModal:
        return "NOTMODAL";
    case DialogRuntime::Cancel:
        return "CANCEL";
    case DialogRuntime::Next:
        return "NEXT";
    case DialogRuntime::Back:
        return "BACK";
    case DialogRuntime::Button:
        return asciiUppered(shown.button);
    default:
        return {};
    }
}

void displayDialog(CommandContext& command) {
    ScriptInterpreter& interpreter = command.interpreter();
    DialogRuntime& dialogs = interpreter.host().dialogs();
    const std::string& skipVariable = command.raw(4);
    if (!skipVariable.empty() &&
        truthOf(command.valueOrEmpty(nameWithOptionalDollars(skipVariable))) == command.boolean(6))
        return;
    std::string key = std::to_string(command.position());
    if (!dialogs.rememberedKey.empty()) {
        dialogs.unbind(dialogs.rememberedKey);
        dialogs.rememberedKey.clear();
    }
    DialogRuntime::Shown shown;
    if (interpreter.inWizard()) {
        shown = dialogs.show(key, true);
        dialogs.rememberedKey = key;
    } else if (command.boolean(3)) {
        shown = dialogs.show(key, true);
        dialogs.progressWindow = 0;
        setWindowHandle(command, 0, "Display Dialog");
        dialogs.rememberedKey = key;
    } else {
        shown = dialogs.show(key, false);
        dialogs.progressWindow = shown.window;
        setWindowHandle(command, shown.window, "Display Dialog");
        shown.result = DialogRuntime::NotModal;
    }
    if (const std::string& result = command.raw(2); !result.empty()) {
        command.createIfAbsent(result);
        command.assignResult(result, resultText(shown));
    }
    if (interpreter.inWizard()) {
        if (shown.result == DialogRuntime::Cancel)
            interpreter.setWizardDirection(WizardDirection::Cancel);
        else if (shown.result == DialogRuntime::Next)
            interpreter.setWizardDirection(WizardDirection::Next);
        else if (shown.result == DialogRuntime::Back)
            interpreter.setWizardDirection(WizardDirection::Back);
    }
}

// "temp" is never a dialog's key: only the current (non-modal progress) dialog is hidden.
void hideDialog(CommandContext& command) {
    DialogRuntime& dialogs = command.interpreter().host().dialogs();
    dialogs.hide("temp");
    dialogs.progressWindow = 0;
    setWindowHandle(command, 0, "Hide Dialog");
}

} // namespace

void addDialogCommands(CommandTable& table) {
    table.add("Display Dialog", displayDialog);
    table.add("Hide Dialog", hideDialog);
}

} // namespace quillon
