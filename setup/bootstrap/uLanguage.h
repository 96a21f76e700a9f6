// The run's language: choosing it at the start, loading the translation tables when LANGUAGE
// changes, and translating the script's and the dialogs' texts.
#pragma once

#include <optional>
#include <string>

namespace quillon {

class ScriptInterpreter;

// Chooses the language of the run and assigns LANGUAGE. False when the user cancelled the language
// selection form: the script is then not run.
bool selectLanguage(ScriptInterpreter& interpreter);

// Before every command: when LANGUAGE holds a new language, loads its translation tables and its
// engine texts. A language whose files cannot be loaded is dropped: LANGUAGE becomes empty.
void refreshLanguage(ScriptInterpreter& interpreter);

// The translation of a command's localizable parameter `index` (from 1), `key` being the command's
// key or a Localization Variable's key; the text itself when there is none.
std::string translateText(const std::string& text, const std::string& key, size_t index);

// The translated text of a dialog's control, for the dialog runtime; nothing when there is none.
std::optional<std::string> dialogTranslation(const std::string& dialog, const std::string& control);

} // namespace quillon
