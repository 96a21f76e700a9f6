// The splash window: a borderless window that sizes itself to its one picture, "setup.bmp".
#pragma once

#include <windows.h>

#include <string>

namespace quillon {

class TSetupSplash {
  public:
    TSetupSplash();
    ~TSetupSplash();
    TSetupSplash(const TSetupSplash&) = delete;
    TSetupSplash& operator=(const TSetupSplash&) = delete;

    // Loads the picture and sizes the window to it; false when the file is not a readable bitmap.
    bool loadPicture(const std::string& path);
    void centreOnScreen();
    void show();
    void repaint();
    void hide();
    bool visible() const;
    RECT bounds() const;
    HWND handle() const { return window_; }

  private:
    HWND window_ = nullptr;
    HWND image_ = nullptr;
    HBITMAP picture_ = nullptr;
};

} // namespace quillon
