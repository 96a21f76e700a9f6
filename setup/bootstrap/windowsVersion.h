// Which Windows the engine runs on, where its behaviour differs by release.
#pragma once

namespace quillon {

// Windows NT, 2000, XP and later, as opposed to Windows 95, 98 and Me.
bool runningOnNtFamily();
// Windows XP (5.1) or later.
bool runningOnXpOrLater();

} // namespace quillon
