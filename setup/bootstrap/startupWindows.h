// What the engine's own small windows share (the start-up windows and the language form). The start-up
// windows are shown and repainted explicitly, as the engine runs no message loop until the script
// starts.
#pragma once

#include <windows.h>

namespace quillon {

HWND createStartupWindow(const char* className, const char* name, DWORD style, DWORD exStyle,
                         WNDPROC procedure = DefWindowProcA);
// Gives the window the client area width x height for its style.
void setClientSize(HWND window, int width, int height);
// A child control in the start-up font; `id` names it for the UI driver and the dialog manager.
HWND createControl(HWND parent, const char* cls, DWORD style, int id, int x, int y, int w, int h);
// Both icons at 16,16, the newer shown from Windows XP on (major version above 5, or 5 with a
// non-zero minor version), the older one before.
void createVersionIcons(HWND parent, int newerId, int olderId);
void centreStartupWindow(HWND window);
// Paints the window and its controls now, without a message loop.
void repaintStartupWindow(HWND window);
// Tahoma 8 pt, the start-up windows' font.
HFONT startupFont();

} // namespace quillon
