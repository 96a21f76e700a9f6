// Writes extracted entries below a folder with std::filesystem. A file is written under a temporary
// name and renamed into place once verified, so a failure never leaves a partial file behind, and an
// existing file is only replaced by complete data.
#pragma once

#include "core/extractSink.h"

#include <filesystem>

namespace qov {

class DirectorySink : public ExtractSink {
  public:
    explicit DirectorySink(std::filesystem::path root) : root_(std::move(root)) {}
    void createFolder(const ArchiveEntry& entry, const RelativePath& path) override;
    std::unique_ptr<OutputFile> createFile(const ArchiveEntry& entry, const RelativePath& path) override;

  private:
    std::filesystem::path root_;
};

} // namespace qov
