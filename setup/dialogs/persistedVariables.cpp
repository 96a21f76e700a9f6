#include "persistedVariables.h"

#include "bootstrap/asciiText.h"

namespace quillon {

namespace {

std::vector<std::string>& names() {
    static std::vector<std::string> list;
    return list;
}

} // namespace

void addPersistedVariable(std::string_view name) {
    for (const std::string& known : names())
        if (equalsIgnoreCase(known, name)) return;
    names().emplace_back(name);
}

const std::vector<std::string>& persistedVariables() {
    return names();
}

} // namespace quillon
