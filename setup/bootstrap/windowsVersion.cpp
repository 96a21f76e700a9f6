#include "windowsVersion.h"

#include <windows.h>

namespace quillon {

namespace {

OSVERSIONINFOA versionInfo() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    return version;
}

} // namespace

bool runningOnNtFamily() {
    return versionInfo().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool runningOnXpOrLater() {
    OSVERSIONINFOA version = versionInfo();
    return version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion != 0);
}

} // namespace quillon
