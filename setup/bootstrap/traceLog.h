// The trace log: an optional text log of the engine's stages, named by "/l=" (and later by the
// variable LOGGED). UTF-16LE without byte order mark on Windows NT, ANSI on Windows 9x.
#pragma once

#include <string>

namespace quillon {

// Appends one line to the log at `path`; nothing when `path` is empty. The first line written by
// the process, whichever thread writes it, truncates the file.
void writeTraceLine(const std::string& path, const std::string& line);

// The engine's own log, at the current log path.
void trace(const std::string& line);

} // namespace quillon
