#include "core/byteSource.h"

#include "core/archiveError.h"

#include <algorithm>
#include <system_error>

namespace qov {

namespace {

void checkRange(std::uint64_t offset, std::size_t length, std::uint64_t size) {
    if (offset > size || length > size - offset) damaged("archive is truncated");
}

} // namespace

void MemoryByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    checkRange(offset, buffer.size(), bytes_.size());
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
}

FileByteSource::FileByteSource(const std::filesystem::path& path) : path_(path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        fail(ErrorCode::ArchiveNotFound, "archive not found: " + path.string());
    if (!std::filesystem::is_regular_file(status))
        fail(ErrorCode::CannotOpen, "archive is not a file: " + path.string());
    file_.open(path, std::ios::binary);
    if (!file_) fail(ErrorCode::CannotOpen, "cannot open archive: " + path.string());
    file_.seekg(0, std::ios::end);
    const auto end = file_.tellg();
    if (end < 0) fail(ErrorCode::CannotOpen, "cannot read archive: " + path.string());
    size_ = static_cast<std::uint64_t>(end);
}

void FileByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    checkRange(offset, buffer.size(), size_);
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    if (!file_ || static_cast<std::size_t>(file_.gcount()) != buffer.size())
        damaged("cannot read archive data");
}

} // namespace qov
