#include "variableConventions.h"

#include "bootstrap/asciiText.h"

namespace quillon {

bool truthOf(std::string_view text) {
    return equalsIgnoreCase(text, "TRUE") || text == "-1";
}

const char* truthText(bool value) {
    return value ? "TRUE" : "FALSE";
}

std::string newlineMarkerToCrLf(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (equalsIgnoreCase(text.substr(i, NewlineMarker.size()), NewlineMarker)) {
            out += "\r\n";
            i += NewlineMarker.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string crLfToNewlineMarker(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.substr(i, 2) == "\r\n") {
            out += NewlineMarker;
            i += 2;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string nameOfReference(std::string_view text) {
    if (text.size() < 2 || text.front() != '$' || text.back() != '$') return {};
    std::string_view inner = text.substr(1, text.size() - 2);
    return inner.find('$') == std::string_view::npos ? std::string(inner) : std::string();
}

std::string substitutedValueOf(const TVariableManager& store, std::string_view reference,
                               bool missingAsEmpty) {
    std::string name = nameOfReference(reference);
    if (name.empty()) name = std::string(reference);
    if (!store.exists(name)) return missingAsEmpty ? std::string() : std::string(NoSuchVariable);
    return store.substitute(store.valueOf(name));
}

void assignVariable(TVariableManager& store, const AssignmentRules& rules, std::string_view name,
                    std::string_view value, std::string_view context) {
    if (rules.silent && context != InjectOverrideContext && rules.overrides) {
        std::string upper = asciiUppered(name);
        for (const auto& [overridden, given] : *rules.overrides)
            if (equalsIgnoreCase(overridden, upper)) return;
    }
    if (name.empty()) return;
    store.put(rules.silent ? asciiUppered(name) : std::string(name), value);
}

} // namespace quillon
