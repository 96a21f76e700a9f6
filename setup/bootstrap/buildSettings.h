// The setup's build settings (manifest pairs NAME, VALUE) as #NAME# replacements in texts.
#pragma once

#include "bootstrap/setupManifest.h"

#include <string>
#include <string_view>

namespace quillon {

// Replaces every "#NAME#" (letter case ignored) by VALUE, pair after pair in list order. When that
// changed the text and the result holds a "$", the replacement is applied again to the result.
//
// The re-application is bounded, as values that keep growing would otherwise repeat it without end:
// it runs at most once per pair (enough to resolve any chain of settings that refer to one another
// without a cycle, whatever their order), and not at all once the text has grown beyond
// MaxReplacedLength bytes. A cycle thus stops after as many rounds as there are pairs.
std::string replaceBuildSettings(std::string_view text, const StringList& buildSettings);

inline constexpr size_t MaxReplacedLength = 1 << 20;

} // namespace quillon
