// The command header list of the manifest: pairs of a header code and the decimal position of the
// change command it belongs to.
#pragma once

#include "bootstrap/setupManifest.h"

#include <string>

namespace quillon {

inline constexpr const char* MissingCommandHeader =
    "Unable to obtain command headers. Please rebuild your project.";

class CommandHeaders {
  public:
    explicit CommandHeaders(const StringList& list) : list_(list) {}

    // The entry before the first entry equal to the position's decimal text; "" when there is none.
    std::string lenientHeaderOf(size_t position) const;
    // The same, raising the script error MissingCommandHeader when there is none.
    std::string headerOf(size_t position) const;

  private:
    const StringList& list_;
};

} // namespace quillon
