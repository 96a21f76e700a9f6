#include "supportFolder.h"

#include "bootstrap/winFiles.h"

namespace quillon {

std::string chooseSupportFolder(const std::string& tempFolder) {
    // A plain file of the same name is skipped too: the folder could not be created over it.
    for (unsigned n = 1;; ++n) {
        std::string candidate = tempFolder + "qov" + std::to_string(n);
        if (!pathExists(candidate)) return candidate + "\\";
    }
}

void deleteSupportFolder(const std::string& folder) {
    if (folder.empty() || !folderExists(folder)) return;
    for (int pass = 0; pass < 3; ++pass)
        deleteFolderContents(folder);
    std::string path = folder;
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

} // namespace quillon
