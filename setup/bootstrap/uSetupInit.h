// The preparing window: a small window with a message, an icon and a progress bar that stands while
// the engine unpacks its support files and loads the wizard's dialogs.
#pragma once

#include <windows.h>

namespace quillon {

class TSetupInit {
  public:
    // Control ids, in the order the window lays them out.
    enum ControlId { Label1 = 1, Image1 = 2, Image2 = 3, ProgressBar = 4 };
    static constexpr int ClientWidth = 369, ClientHeight = 89;

    TSetupInit();
    ~TSetupInit();
    TSetupInit(const TSetupInit&) = delete;
    TSetupInit& operator=(const TSetupInit&) = delete;

    void moveTo(int left, int top);
    void centreOnScreen();
    // Shows the window with the engine's caption and message.
    void show();
    void repaint();
    void hide();
    void setProgressRange(int minimum, int maximum);
    void setProgressPosition(int position);
    void stepProgress();
    RECT bounds() const;
    HWND handle() const { return window_; }

  private:
    HWND window_ = nullptr;
    HWND label_ = nullptr;
    HWND progress_ = nullptr;
};

} // namespace quillon
