#include "userLocale.h"

#include "bootstrap/languageNames.h"

#include <windows.h>

#include <cstdlib>

namespace quillon {

namespace {

// The locale gives the identifier as hexadecimal text; "" when it gives nothing.
std::string languageNameOfLocale(LCTYPE type) {
    char text[16] = {};
    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof(text))) return {};
    return languageNameOf(static_cast<unsigned>(std::strtoul(text, nullptr, 16)));
}

} // namespace

std::string userLanguageName() {
    return languageNameOfLocale(LOCALE_ILANGUAGE);
}

std::string userDefaultLanguageName() {
    return languageNameOfLocale(LOCALE_IDEFAULTLANGUAGE);
}

} // namespace quillon
