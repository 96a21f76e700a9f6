#include "uDlgAPI.h"

namespace quillon {

// Dialog definition files are read by the dialog runtime, which comes with the wizard dialogs;
// until then start-up only counts the dialogs for its progress bar.
void initDialogRuntime(const std::string&) {}
void loadDialog(const std::string&, const std::string&) {}

} // namespace quillon
