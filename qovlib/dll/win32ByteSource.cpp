#include "win32ByteSource.h"

#include "core/archiveError.h"

#include <algorithm>

namespace qovdll {

using qov::ErrorCode;

Win32ByteSource::Win32ByteSource(const std::string& path)
    : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!file_.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
            qov::fail(ErrorCode::ArchiveNotFound, "archive not found: " + path);
        qov::fail(ErrorCode::CannotOpen,
                  "cannot open archive " + path + " (error " + std::to_string(error) + ")");
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.get(), &size)) qov::fail(ErrorCode::CannotOpen, "cannot read archive " + path);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
}

void Win32ByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (offset > size_ || buffer.size() > size_ - offset) qov::damaged("archive is truncated");
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN))
        qov::damaged("cannot read archive data");
    while (!buffer.empty()) {
        const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 24));
        DWORD got = 0;
        if (!ReadFile(file_.get(), buffer.data(), want, &got, nullptr) || got == 0)
            qov::damaged("cannot read archive data");
        buffer = buffer.subspan(got);
    }
}

} // namespace qovdll
