// An error that escapes a script command: it ends the script with the runtime-error message.
#pragma once

#include <stdexcept>

namespace quillon {

class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace quillon
