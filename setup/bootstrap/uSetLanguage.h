// The language selection form: asks the user, before the script runs, which of the setup's languages
// to use.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quillon {

class TSetLanguage {
  public:
    // The buttons carry the dialog manager's ids, so that Enter and Esc reach them.
    enum ControlId { BitBtn1 = IDOK, BitBtn2 = IDCANCEL, Label1 = 3, Image1 = 4, Image2 = 5, LangCombo = 6 };
    static constexpr int ClientWidth = 241, ClientHeight = 127;

    // Shows the form modally, centred on the screen, with `languages` listed and the item
    // `preselected` chosen. The index of the item chosen by OK; nothing when the user cancelled.
    static std::optional<size_t> choose(const std::vector<std::string>& languages, size_t preselected);
};

} // namespace quillon
