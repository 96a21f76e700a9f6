#include "engineCommands.h"

#include "commands/stringCommands.h"
#include "commands/systemStringCommands.h"
#include "dialogs/dialogCommands.h"
#include "script/endCommands.h"
#include "script/rebootCommands.h"
#include "script/variableCommands.h"

namespace quillon {

const CommandTable& engineCommands() {
    static const CommandTable table = [] {
        CommandTable t;
        addVariableCommands(t);
        addEndCommands(t);
        addRebootCommands(t);
        addDialogCommands(t);
        addStringCommands(t);
        addSystemStringCommands(t);
        return t;
    }();
    return table;
}

} // namespace quillon
