// Any text is an expression to the evaluator: it must end with one of its outcomes, and the
// compiler's check must agree with evaluation on texts without dollars.
#include "script/mEval.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string outcome = quillon::evaluateExpression(text);
    if (outcome != "TRUE" && outcome != "FALSE" && outcome != "ERROR") std::abort();
    if (text.find('$') == std::string_view::npos &&
        quillon::expressionSyntaxAccepted(text) != (quillon::evaluationOutcome(text) != "ERROR"))
        std::abort();
    return 0;
}
