// Where a Windows executable image ends inside its file: the largest end of raw data over the section
// table. Bytes after it are the file's appended data (the engine's manifest, qov.lib's language file).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

// `headers` is the start of the file (the DOS header, PE headers and section table; 4 KiB is ample).
// Empty when the bytes are not a PE image or the section table lies beyond them.
std::optional<uint64_t> peImageEnd(std::string_view headers);

} // namespace quillon
