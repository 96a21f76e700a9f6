// The translation tables of one language: four parallel line lists in which line i of each list
// describes the same translatable item, and the look-ups of script and dialog texts in them.
#pragma once

#include "bootstrap/setupManifest.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillon {

// The LOCMODE build setting: which texts are translated.
enum class TranslationMode {
    Everything,
    VariablesOnly, // "VARSONLY": only Localization Variable texts
    NewOnly,       // "NEWONLY": a text only while it still equals the author's text
};

TranslationMode translationModeOf(const StringList& buildSettings);

// The lines of a translation file; CR LF ends a line (a lone LF or CR does as well).
StringList translationLines(std::string_view contents);

struct TranslationFiles {
    StringList dialogs;    // "translations.Map": the dialog of a dialog text
    StringList keys;       // title + ".mtx": control name, command key or a Localization Variable's key
    StringList translated; // "translations." + language
    StringList originals;  // "translations.Original": the text as the author wrote it
};

class TranslationTables {
  public:
    TranslationTables() = default;
    explicit TranslationTables(TranslationFiles files);

    // The translation of a command's localizable parameter `index` (from 1) whose command key, or
    // Localization Variable key, is `key`; `text` itself when there is none or the mode excludes it.
    std::string translate(const std::string& text, std::string_view key, size_t index,
                          const StringList& buildSettings) const;

    // The translated text of a dialog's control: the first item whose dialog and control match
    // (letter case ignored); nothing when there is none.
    std::optional<std::string> dialogTranslation(std::string_view dialog, std::string_view control) const;

  private:
    TranslationFiles files_;
    // First line of each key and of each dialog and control, upper-cased, so that look-ups before
    // every localizable parameter do not scan the lists.
    std::unordered_map<std::string, size_t> keyLines_;
    std::unordered_map<std::string, size_t> controlLines_;
};

} // namespace quillon
