// The conventions that ride on variables: truth texts, the newline marker, references by name, and
// the assignment rule that keeps command-line values in a silent run.
#pragma once

#include "script/VariableManager.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

inline constexpr std::string_view NewlineMarker = "$NEWLINE$";
inline constexpr std::string_view NoSuchVariable = "$KWIBNX$";
inline constexpr std::string_view InjectOverrideContext = "Inject Override Command Line";

// True for "TRUE" in any letter case and for exactly "-1".
bool truthOf(std::string_view text);
const char* truthText(bool value);

std::string newlineMarkerToCrLf(std::string_view text);
std::string crLfToNewlineMarker(std::string_view text);

// For "$NAME$" (the only other dollar being the last character) the name; otherwise "".
std::string nameOfReference(std::string_view text);

// The value of the variable a reference names, substituted; "$KWIBNX$" (or "" with
// missingAsEmpty) when it does not exist.
std::string substitutedValueOf(const TVariableManager& store, std::string_view reference,
                               bool missingAsEmpty = false);

struct AssignmentRules {
    bool silent = false;
    const std::vector<std::pair<std::string, std::string>>* overrides = nullptr; // names upper-cased
};

// In a silent run a name given on the command line keeps its command-line value, except for the
// injection of those values itself; an empty name does nothing.
void assignVariable(TVariableManager& store, const AssignmentRules& rules, std::string_view name,
                    std::string_view value, std::string_view context);

} // namespace quillon
