// Turns a name stored in an archive into a path that cannot leave the destination folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qov {

struct RelativePath {
    std::vector<std::u16string> components; // never empty, none empty, none "." or ".."

    std::u16string join(char16_t separator) const;
    std::string utf8(char separator = '/') const;
};

// Both '/' and '\' separate components. Refused (null): empty names, absolute and UNC paths, drive
// letters and any other ':' (alternate data streams), empty components, components made only of dots
// and spaces (Windows trims those to "." or ".."), control characters and reserved device names.
std::optional<RelativePath> toSafeRelativePath(std::u16string_view storedName);

} // namespace qov
