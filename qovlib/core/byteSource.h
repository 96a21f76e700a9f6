// Random access to the bytes of an archive. The reader only ever asks for the ranges it needs, so an
// archive of any size is never held in memory as a whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>

namespace qov {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `buffer` from `offset` completely, or fails with ArchiveError.
    virtual void readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;
    // A second, independent reader of the same bytes, for another thread; null when there is none.
    virtual std::unique_ptr<ByteSource> clone() const { return nullptr; }
};

// Borrows the bytes; they must outlive the source.
class MemoryByteSource : public ByteSource {
  public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
    std::unique_ptr<ByteSource> clone() const override { return std::make_unique<MemoryByteSource>(bytes_); }

  private:
    std::span<const std::uint8_t> bytes_;
};

class FileByteSource : public ByteSource {
  public:
    // ArchiveNotFound when there is no such file, CannotOpen when it cannot be read.
    explicit FileByteSource(const std::filesystem::path& path);
    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
    std::unique_ptr<ByteSource> clone() const override { return std::make_unique<FileByteSource>(path_); }

  private:
    std::filesystem::path path_;
    std::ifstream file_;
    std::uint64_t size_ = 0;
};

} // namespace qov
