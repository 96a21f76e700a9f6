// What the two start-up windows share: they are shown and repainted explicitly, as the engine runs no
// message loop until the script starts.
#pragma once

#include <windows.h>

namespace quillon {

HWND createStartupWindow(const char* className, const char* name, DWORD style, DWORD exStyle);
void centreStartupWindow(HWND window);
// Paints the window and its controls now, without a message loop.
void repaintStartupWindow(HWND window);
// Tahoma 8 pt, the start-up windows' font.
HFONT startupFont();

} // namespace quillon
