// Writes extracted entries below a destination folder through the Win32 ANSI API, asking the
// engine before an existing file is replaced. Files are written under a temporary name in their
// folder and moved into place once their CRC has been checked, so a failure leaves no partial file
// and keeps the file that was there.
#pragma once

#include "core/extractSink.h"
#include "qovlibApi.h"

#include <map>
#include <string>
#include <vector>

namespace qovdll {

class Win32FileSink : public qov::ExtractSink {
  public:
    // `ansiPaths` maps entry indices to their relative paths ('\' separated, checked safe).
    Win32FileSink(std::string destination, const std::map<std::size_t, std::string>& ansiPaths,
                  bool restoreAttributes, QovOverwriteCallback overwrite);

    void createFolder(const qov::ArchiveEntry& entry, const qov::RelativePath& path) override;
    std::unique_ptr<qov::OutputFile> createFile(const qov::ArchiveEntry& entry,
                                                const qov::RelativePath& path) override;
    // Gives folders their stored attributes and times; done last, as writing files into a folder
    // changes its time.
    void finishFolders();

  private:
    std::string fullPath(const qov::ArchiveEntry& entry) const;

    std::string destination_;
    const std::map<std::size_t, std::string>& ansiPaths_;
    bool restoreAttributes_;
    QovOverwriteCallback overwrite_;
    std::vector<std::pair<std::string, const qov::ArchiveEntry*>> folders_;
};

// Creates `path` and every missing folder above it; WriteFailed when that is impossible.
void createFolders(const std::string& path);

} // namespace qovdll
