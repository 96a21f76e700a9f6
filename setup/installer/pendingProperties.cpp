#include "pendingProperties.h"

#include "script/variableConventions.h"

namespace quillon {

namespace {

PropertyPairs& pending() {
    static PropertyPairs pairs;
    return pairs;
}

} // namespace

void setInstallerProperty(std::string_view name, std::string_view value) {
    pending().emplace_back(std::string(name), crLfToNewlineMarker(value));
}

const PropertyPairs& pendingInstallerProperties() {
    return pending();
}

void clearPendingInstallerProperties() {
    pending().clear();
}

} // namespace quillon
