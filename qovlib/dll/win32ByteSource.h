// An archive file read through the Win32 API, by its ANSI path.
#pragma once

#include "core/byteSource.h"
#include "win32Handle.h"

#include <string>

namespace qovdll {

class Win32ByteSource : public qov::ByteSource {
  public:
    // ArchiveNotFound when the file does not exist, CannotOpen when it cannot be read.
    explicit Win32ByteSource(const std::string& path);
    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;

  private:
    UniqueHandle file_;
    std::uint64_t size_ = 0;
};

} // namespace qovdll
