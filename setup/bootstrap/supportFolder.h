// The per-run support folder: temp folder + "qov" + N, holding everything unpacked for the run.
#pragma once

#include <string>

namespace quillon {

// The first temp folder + "qov" + N + "\" (N = 1, 2, ...) whose name nothing takes yet.
std::string chooseSupportFolder(const std::string& tempFolder);

// Removes the folder with everything in it: three passes over its contents (a file a virus scanner
// or an ending program still holds may go on a later pass), then the folder itself.
void deleteSupportFolder(const std::string& folder);

} // namespace quillon
