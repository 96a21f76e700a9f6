// The check a script passes before it runs: block structure, labels, and that every variable a
// command reads is known by the time the command comes.
#pragma once

#include "script/scriptModel.h"
#include "script/variableConventions.h"

#include <string>
#include <vector>

namespace quillon {

struct CompileResult {
    static constexpr long long Accepted = -1;
    static constexpr long long BlockMismatch = 2147483644; // the If/End count does not match

    long long result = Accepted; // otherwise the zero-based position of the first offending command
    std::string message = "Script compiled successfully";

    bool accepted() const { return result == Accepted; }
};

// Clears `store` and defines in it the names a script may refer to; `labels` receives the label names
// (upper-cased) in command order.
CompileResult compileScript(const ScriptModel& script, TVariableManager& store, const AssignmentRules& rules,
                            std::vector<std::string>& labels);

} // namespace quillon
