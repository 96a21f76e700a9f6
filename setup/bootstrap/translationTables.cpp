#include "translationTables.h"

#include "bootstrap/asciiText.h"
#include "bootstrap/buildSettings.h"
#include "bootstrap/textLines.h"
#include "script/ansiCase.h"

namespace quillon {

namespace {

// A Localization Variable's key carries the variable name between these markers.
constexpr std::string_view VariableKeyStart = "VODORIRE$";
constexpr std::string_view VariableKeyEnd = "$VODORIRE";

std::string controlKey(std::string_view dialog, std::string_view control) {
    // Neither part can hold a line break, so it separates them unambiguously.
    return ansiUpper(dialog) + '\n' + ansiUpper(control);
}

const std::string* lineAt(const StringList& lines, size_t i) {
    return i < lines.size() ? &lines[i] : nullptr;
}

} // namespace

TranslationMode translationModeOf(const StringList& buildSettings) {
    std::string mode = replaceBuildSettings("#LOCMODE#", buildSettings);
    if (equalsIgnoreCase(mode, "VARSONLY")) return TranslationMode::VariablesOnly;
    if (equalsIgnoreCase(mode, "NEWONLY")) return TranslationMode::NewOnly;
    return TranslationMode::Everything;
}

StringList translationLines(std::string_view contents) {
    StringList lines;
    TextLines reader(contents);
    while (auto line = reader.next())
        lines.push_back(std::move(*line));
    return lines;
}

TranslationTables::TranslationTables(TranslationFiles files) : files_(std::move(files)) {
    for (size_t i = 0; i < files_.keys.size(); ++i) {
        keyLines_.try_emplace(ansiUpper(files_.keys[i]), i);
        if (i < files_.dialogs.size())
            controlLines_.try_emplace(controlKey(files_.dialogs[i], files_.keys[i]), i);
    }
}

std::string TranslationTables::translate(const std::string& text, std::string_view key, size_t index,
                                         const StringList& buildSettings) const {
    TranslationMode mode = translationModeOf(buildSettings);
    if (mode == TranslationMode::VariablesOnly && (key.find(VariableKeyStart) == std::string_view::npos ||
                                                   key.find(VariableKeyEnd) == std::string_view::npos))
        return text;
    auto found = keyLines_.find(ansiUpper(key));
    if (found == keyLines_.end() || index == 0) return text;
    size_t j = found->second + index - 1;
    if (mode == TranslationMode::NewOnly) {
        const std::string* original = lineAt(files_.originals, j);
        if (!original || *original != text) return text;
    }
    // Lists of unequal length leave the items past the shorter one untranslated.
    const std::string* translated = lineAt(files_.translated, j);
    return translated ? replaceBuildSettings(*translated, buildSettings) : text;
}

std::optional<std::string> TranslationTables::dialogTranslation(std::string_view dialog,
                                                                std::string_view control) const {
    auto found = controlLines_.find(controlKey(dialog, control));
    if (found == controlLines_.end()) return std::nullopt;
    const std::string* translated = lineAt(files_.translated, found->second);
    if (!translated) return std::nullopt;
    return *translated;
}

} // namespace quillon
