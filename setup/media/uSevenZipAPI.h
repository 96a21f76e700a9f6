// The engine's two ways into the archive library: every archive the engine unpacks goes through
// SevenZipExtract or SevenZipList. Neither throws: failures come back as false and an error text.
#pragma once

#include "dll/qovlibApi.h"

#include <string>
#include <vector>

namespace quillon {

struct SevenZipCallbacks {
    QovProgressCallback progress = nullptr;
    QovOverwriteCallback overwrite = nullptr;
    QovSecondCallback second = nullptr;
    QovPasswordCallback password = nullptr;
};

// Extracts `names` (every entry when null) below `destination`. `optionFlag` true keeps the stored
// attributes; `overwriteMode` true replaces existing files when no overwrite callback is given.
bool SevenZipExtract(const std::string& archive, const std::string& password, const std::string& destination,
                     bool optionFlag, bool overwriteMode, std::string& errorText,
                     const std::vector<std::string>* names = nullptr, SevenZipCallbacks callbacks = {});

// The entry paths of the archive, in archive order.
bool SevenZipList(const std::string& archive, const std::string& password, std::string& errorText,
                  QovPasswordCallback passwordCallback, std::vector<std::string>& names);

} // namespace quillon
