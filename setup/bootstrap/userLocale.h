// The languages of the user's default locale, by their names in the engine's language table.
#pragma once

#include <string>

namespace quillon {

// The locale's language (LOCALE_ILANGUAGE): picks the block of a language file.
std::string userLanguageName();
// The locale's default language (LOCALE_IDEFAULTLANGUAGE): pre-selected in the language form.
std::string userDefaultLanguageName();

} // namespace quillon
