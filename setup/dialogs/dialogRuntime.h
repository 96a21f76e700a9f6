// What the script sees of the wizard's dialog runtime: showing and hiding the dialogs loaded at
// start-up, the progress dialog and the user's cancel request. The base class is the runtime of a
// run without windows: nothing shows, a modal display answers Next and a non-modal one reports
// window 6, so a silent run walks forward through every wizard loop.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

class DialogRuntime {
  public:
    // Result codes of a display.
    static constexpr int NotModal = 0, Cancel = 2, Next = 6, Back = 7, Button = 8;

    struct Shown {
        int result = 0;
        uintptr_t window = 0; // a non-modal display's window
        std::string button;   // the component name of the clicked button, for Button
    };

    virtual ~DialogRuntime() = default;

    // Binds the dialog of `key` to the variables and shows it; a modal display returns when the user
    // has answered.
    virtual Shown show(const std::string& /*key*/, bool modal) {
        return modal ? Shown{Next, 0, {}} : Shown{NotModal, 6, {}};
    }
    virtual void unbind(const std::string& /*key*/) {}
    // Hides the current dialog when its key is `key`.
    virtual void hide(const std::string& /*key*/) {}

    virtual bool cancelRequested() const { return false; }
    // Text and position (of 0 to 100) for the progress dialog; lets one pending message through.
    virtual void setProgress(const std::string& /*text*/, int /*position*/) {}
    // The progress dialog from PROGRESSTEXT and PROGRESS at once.
    virtual void refreshProgressDialog() {}

    // The shown non-modal dialog (the progress dialog), 0 when none; owner of message boxes.
    uintptr_t progressWindow = 0;
    // The modal dialog shown last, unbound by the next display.
    std::string rememberedKey;
};

} // namespace quillon
