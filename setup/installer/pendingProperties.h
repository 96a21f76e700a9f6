// The installer properties a run records for the setup database: ordered (name, value) pairs, written
// into its Property table when the installer session starts. Earlier pairs of a name are kept; the
// last one written wins there.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

using PropertyPairs = std::vector<std::pair<std::string, std::string>>;

// Records the pair, the value with every CR LF written as "$NEWLINE$".
void setInstallerProperty(std::string_view name, std::string_view value);
const PropertyPairs& pendingInstallerProperties();
void clearPendingInstallerProperties();

} // namespace quillon
