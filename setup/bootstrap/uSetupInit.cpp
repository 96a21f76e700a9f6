#include "uSetupInit.h"

#include "bootstrap/engineTexts.h"
#include "bootstrap/startupWindows.h"

#include <commctrl.h>

namespace quillon {

TSetupInit::TSetupInit() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    // Single border and a caption, but no system menu and so no system buttons.
    constexpr DWORD style = WS_POPUP | WS_CAPTION;
    window_ = createStartupWindow("TSetupInit", "SetupInit", style, WS_EX_DLGMODALFRAME);
    setClientSize(window_, ClientWidth, ClientHeight);

    label_ = createControl(window_, "STATIC", WS_VISIBLE | SS_LEFT, Label1, 56, 16, 297, 33);
    createVersionIcons(window_, Image1, Image2);
    progress_ = createControl(window_, PROGRESS_CLASSA, WS_VISIBLE, ProgressBar, 16, 56, 337, 17);
}

TSetupInit::~TSetupInit() {
    if (window_) DestroyWindow(window_);
}

void TSetupInit::moveTo(int left, int top) {
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSetupInit::centreOnScreen() {
    centreStartupWindow(window_);
}

void TSetupInit::show() {
    SetWindowTextA(window_, engineText(EngineText::WizardCaption).c_str());
    SetWindowTextA(label_, engineText(EngineText::PreparingWizard).c_str());
    ShowWindow(window_, SW_SHOWNOACTIVATE);
}

void TSetupInit::repaint() {
    repaintStartupWindow(window_);
}
void TSetupInit::hide() {
    ShowWindow(window_, SW_HIDE);
}

void TSetupInit::setProgressRange(int minimum, int maximum) {
    SendMessageA(progress_, PBM_SETRANGE32, minimum, maximum);
}

void TSetupInit::setProgressPosition(int position) {
    SendMessageA(progress_, PBM_SETPOS, position, 0);
}

void TSetupInit::stepProgress() {
    SendMessageA(progress_, PBM_DELTAPOS, 1, 0);
}

RECT TSetupInit::bounds() const {
    RECT r{};
    GetWindowRect(window_, &r);
    return r;
}

} // namespace quillon
