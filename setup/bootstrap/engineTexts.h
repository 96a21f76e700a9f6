// The engine's own user-visible texts. Each has an English default and can be replaced by a language
// file: the file's blocks hold one text per line, and a text's id is its line number in a block.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

enum class EngineText : int {
    CommonControlsUpdate = 1,
    SetupResourceNotFound = 2,
    SetupResourceDecompressionFailure = 3,
    SetupDatabaseNotFound = 4,
    RuntimeErrorInInstall = 5,
    RuntimeErrorInSetupScript = 20,
    WizardCaption = 23,
    PreparingWizard = 24,
    Ok = 38,
    Cancel = 39,
    SelectSetupLanguage = 89,
    SelectLanguagePrompt = 90,
};

inline constexpr int EngineTextBlockLines = 115;

// The text of line `id` (1 to 115) as currently in effect; lines without a text give "".
const std::string& engineText(int id);
inline const std::string& engineText(EngineText id) {
    return engineText(static_cast<int>(id));
}

// Back to the built-in defaults (for tests and a fresh start).
void resetEngineTexts();

// Applies a language file: the unnamed first block, then each named block in turn until one whose
// name equals `userLanguage` (letter case ignored). A block cut short leaves the rest of its texts
// empty; when no name matches, the last block read stays in effect.
void applyLanguageFile(std::string_view contents, std::string_view userLanguage);

} // namespace quillon
