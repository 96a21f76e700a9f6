#include "uSetupSplash.h"

#include "bootstrap/startupWindows.h"

namespace quillon {

namespace {
constexpr int ImageId = 1;
}

TSetupSplash::TSetupSplash() {
    window_ = createStartupWindow("TSetupSplash", "SetupSplash", WS_POPUP, WS_EX_TOOLWINDOW);
    image_ = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 0, 0, window_,
                             reinterpret_cast<HMENU>(ImageId), GetModuleHandleA(nullptr), nullptr);
}

TSetupSplash::~TSetupSplash() {
    if (window_) DestroyWindow(window_);
    if (picture_) DeleteObject(picture_);
}

bool TSetupSplash::loadPicture(const std::string& path) {
    HBITMAP picture =
        static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!picture) return false;
    if (picture_) DeleteObject(picture_);
    picture_ = picture;
    SendMessageA(image_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_));
    BITMAP info{};
    GetObjectA(picture_, sizeof(info), &info);
    SetWindowPos(image_, nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(window_, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void TSetupSplash::centreOnScreen() {
    centreStartupWindow(window_);
}
void TSetupSplash::show() {
    ShowWindow(window_, SW_SHOWNOACTIVATE);
}
void TSetupSplash::repaint() {
    repaintStartupWindow(window_);
}
void TSetupSplash::hide() {
    ShowWindow(window_, SW_HIDE);
}
bool TSetupSplash::visible() const {
    return IsWindowVisible(window_);
}

RECT TSetupSplash::bounds() const {
    RECT r{};
    GetWindowRect(window_, &r);
    return r;
}

} // namespace quillon
