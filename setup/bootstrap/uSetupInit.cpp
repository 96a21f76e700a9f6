#include "uSetupInit.h"

#include "bootstrap/engineTexts.h"
#include "bootstrap/startupWindows.h"
#include "bootstrap/windowsVersion.h"

#include <commctrl.h>

namespace quillon {

namespace {

HWND createControl(HWND parent, const char* cls, DWORD style, int id, int x, int y, int w, int h) {
    HWND control = CreateWindowExA(0, cls, "", WS_CHILD | style, x, y, w, h, parent,
                                   reinterpret_cast<HMENU>(id), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(startupFont()), FALSE);
    return control;
}

} // namespace

TSetupInit::TSetupInit() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    // Single border and a caption, but no system menu and so no system buttons.
    constexpr DWORD style = WS_POPUP | WS_CAPTION;
    window_ = createStartupWindow("TSetupInit", "SetupInit", style, WS_EX_DLGMODALFRAME);
    RECT frame{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    label_ = createControl(window_, "STATIC", WS_VISIBLE | SS_LEFT, Label1, 56, 16, 297, 33);
    bool newer = runningOnXpOrLater(); // the newer icon from Windows XP on
    HWND image1 =
        createControl(window_, "STATIC", SS_ICON | (newer ? WS_VISIBLE : 0), Image1, 16, 16, 32, 32);
    HWND image2 =
        createControl(window_, "STATIC", SS_ICON | (newer ? 0 : WS_VISIBLE), Image2, 16, 16, 32, 32);
    SendMessageA(image1, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_INFORMATION)), 0);
    SendMessageA(image2, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_WINLOGO)), 0);
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
