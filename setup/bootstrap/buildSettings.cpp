#include "buildSettings.h"

#include "script/ansiCase.h"

namespace quillon {

namespace {

// A text with its upper-cased form kept beside it, so that each pair searches without upper-casing
// the whole text again.
struct CasedText {
    std::string text, upper;
};

void replaceIgnoringCase(CasedText& t, const std::string& pattern, const std::string& value) {
    std::string upperPattern = ansiUpper(pattern);
    size_t at = t.upper.find(upperPattern);
    if (at == std::string::npos) return;
    std::string upperValue = ansiUpper(value);
    CasedText out;
    size_t from = 0;
    for (; at != std::string::npos; at = t.upper.find(upperPattern, from)) {
        out.text.append(t.text, from, at - from).append(value);
        out.upper.append(t.upper, from, at - from).append(upperValue);
        from = at + upperPattern.size();
    }
    out.text.append(t.text, from);
    out.upper.append(t.upper, from);
    t = std::move(out);
}

// One round: every pair in list order; a name without its value (an odd list) is ignored.
std::string replacedOnce(const std::string& text, const StringList& settings) {
    CasedText t{text, ansiUpper(text)};
    for (size_t i = 0; i + 1 < settings.size(); i += 2)
        replaceIgnoringCase(t, "#" + settings[i] + "#", settings[i + 1]);
    return std::move(t.text);
}

} // namespace

std::string replaceBuildSettings(std::string_view text, const StringList& buildSettings) {
    std::string previous(text);
    std::string result = replacedOnce(previous, buildSettings);
    size_t reapplications = buildSettings.size() / 2;
    while (reapplications-- > 0 && result != previous && result.find('$') != std::string::npos &&
           result.size() <= MaxReplacedLength) {
        previous = std::move(result);
        result = replacedOnce(previous, buildSettings);
    }
    return result;
}

} // namespace quillon
