// The 64-bit file view: while an object of this class lives, WOW64 file-system redirection is off
// for the calling thread, so that a 32-bit engine working for a 64-bit target sees the real system
// folders. It is switched only when the engine runs under WOW64 and the script's target platform is
// not "Win32"; the destructor switches it back on every way out of the command.
#pragma once

#include <string>

namespace quillon {

class Wow64FileView {
  public:
    explicit Wow64FileView(const std::string& targetPlatform);
    ~Wow64FileView();
    Wow64FileView(const Wow64FileView&) = delete;
    Wow64FileView& operator=(const Wow64FileView&) = delete;

  private:
    bool disabled_ = false;
    void* previous_ = nullptr; // the redirection state to restore
};

} // namespace quillon
