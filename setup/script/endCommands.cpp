#include "endCommands.h"

#include "script/commandContext.h"
#include "script/parameterConventions.h"
#include "script/scriptInterpreter.h"

namespace quillon {

void addEndCommands(CommandTable& table) {
    table.add("Terminate Install", [](CommandContext& command) { command.interpreter().endScript(); });
    table.add("Terminate with Exit Code", [](CommandContext& command) {
        command.interpreter().setExitCode(decimalInt32(command.substituted(1)).value_or(0));
        command.interpreter().endScript();
    });
}

} // namespace quillon
