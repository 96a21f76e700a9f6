#include "variableCommands.h"

#include "bootstrap/asciiText.h"
#include "dialogs/persistedVariables.h"
#include "script/commandContext.h"
#include "script/parameterConventions.h"
#include "script/scriptInterpreter.h"

namespace quillon {

namespace {

// Parameter 1 of Set Variable may carry "$KWIB$KWIB$" and then "TRUE" for a variable saved with
// the installation.
constexpr std::string_view PersistMarker = "$KWIB$KWIB$";

void setVariable(CommandContext& command) {
    std::string value = command.substituted(2);
    if (!command.valueOrEmpty("LANGUAGE").empty())
        value = command.variables().substitute(command.localizable(value, 1));
    std::string name = command.raw(1);
    bool persisted = false;
    if (size_t marker = name.find(PersistMarker); marker != std::string::npos) {
        persisted = name.substr(marker + PersistMarker.size()) == "TRUE";
        name.resize(marker);
    }
    name = nameWithOptionalDollars(name);
    command.createIfAbsent(name);
    command.assignResult(name, value);
    if (persisted) addPersistedVariable(asciiUppered(name));
    if (equalsIgnoreCase(name, "PROGRESS") || equalsIgnoreCase(name, "PROGRESSTEXT"))
        command.interpreter().host().dialogs().refreshProgressDialog();
}

void localizationVariable(CommandContext& command) {
    std::string name = nameWithOptionalDollars(command.raw(1));
    command.createIfAbsent(name);
    std::string value = command.substituted(2);
    if (!command.valueOrEmpty("LANGUAGE").empty())
        value = command.variables().substitute(
            command.interpreter().host().translate(value, "VODORIRE$" + name + "$VODORIRE", 1));
    command.assignResult(name, value);
}

} // namespace

void addVariableCommands(CommandTable& table) {
    table.add("Set Variable", setVariable);
    table.add("Localization Variable", localizationVariable);
}

} // namespace quillon
