// The expression language of Evaluate Expression: quoted-text comparisons joined by "and" and "or"
// (equal precedence, left to right) and grouped by parentheses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// "TRUE", "FALSE" or "ERROR"; nothing for an expression that parses completely to no value, such
// as an empty one.
std::optional<std::string> evaluationOutcome(std::string_view expression);

// The outcome as Evaluate Expression stores it: an expression without a value is an error too.
std::string evaluateExpression(std::string_view expression);

// The compiler's check of an expression as the author wrote it: every "$" read as a double quote,
// so that $NAME$ stands for a quoted string.
bool expressionSyntaxAccepted(std::string_view authorText);

} // namespace quillon
