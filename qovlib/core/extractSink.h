// Where extracted entries go. The archive reader only streams bytes into these interfaces, so the
// same reader serves the Windows DLL, portable tools and in-memory checks.
#pragma once

#include "core/safePath.h"

#include <cstdint>
#include <memory>
#include <span>

namespace qov {

struct ArchiveEntry;

class OutputFile {
  public:
    // Destroyed without commit(), the file must vanish: no truncated file may claim success.
    virtual ~OutputFile() = default;
    virtual void write(std::span<const std::uint8_t> data) = 0;
    // All data is written and verified.
    virtual void commit() = 0;
};

class ExtractSink {
  public:
    virtual ~ExtractSink() = default;
    virtual void createFolder(const ArchiveEntry& entry, const RelativePath& path) = 0;
    // Null leaves the entry out (for instance, when an existing file is kept).
    virtual std::unique_ptr<OutputFile> createFile(const ArchiveEntry& entry, const RelativePath& path) = 0;
};

} // namespace qov
