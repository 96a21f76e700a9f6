#include "startupWindows.h"

#include "bootstrap/windowsVersion.h"

namespace quillon {

HWND createStartupWindow(const char* className, const char* name, DWORD style, DWORD exStyle,
                         WNDPROC procedure) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA existing;
    if (!GetClassInfoA(instance, className, &existing)) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = className;
        RegisterClassA(&windowClass);
    }
    return CreateWindowExA(exStyle, className, name, style, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

void setClientSize(HWND window, int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND createControl(HWND parent, const char* cls, DWORD style, int id, int x, int y, int w, int h) {
    HWND control = CreateWindowExA(0, cls, "", WS_CHILD | style, x, y, w, h, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(startupFont()), FALSE);
    return control;
}

void createVersionIcons(HWND parent, int newerId, int olderId) {
    bool newer = runningOnXpOrLater(); // the newer icon from Windows XP on
    HWND newerIcon =
        createControl(parent, "STATIC", SS_ICON | (newer ? WS_VISIBLE : 0), newerId, 16, 16, 32, 32);
    HWND olderIcon =
        createControl(parent, "STATIC", SS_ICON | (newer ? 0 : WS_VISIBLE), olderId, 16, 16, 32, 32);
    SendMessageA(newerIcon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_INFORMATION)), 0);
    SendMessageA(olderIcon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_WINLOGO)), 0);
}

void centreStartupWindow(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
        top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void repaintStartupWindow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HFONT startupFont() {
    static HFONT font = [] {
        HDC screen = GetDC(nullptr);
        int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
    }();
    return font;
}

} // namespace quillon
