#include "win32FileSink.h"

#include "core/archiveError.h"
#include "core/sevenZipArchive.h"
#include "win32Handle.h"

#include <windows.h>

#include <algorithm>

namespace qovdll {

using qov::ErrorCode;

namespace {

// The attributes a file may be given; the rest are set by the system or are not ours to set.
constexpr DWORD settableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                     FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

[[noreturn]] void writeFailed(const std::string& what, const std::string& path) {
    qov::fail(ErrorCode::WriteFailed, what + " " + path + " (error " + std::to_string(GetLastError()) + ")");
}

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

FILETIME toFileTime(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

DWORD storedAttributes(const qov::ArchiveEntry& entry) {
    const DWORD attributes = entry.windowsAttributes() & settableAttributes;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

class Win32OutputFile : public qov::OutputFile {
  public:
    Win32OutputFile(std::string target, const qov::ArchiveEntry& entry, bool restoreAttributes)
        : target_(std::move(target)), entry_(entry), restoreAttributes_(restoreAttributes) {
        char temporary[MAX_PATH];
        const std::string folder = parentOf(target_);
        if (!GetTempFileNameA(folder.c_str(), "qov", 0, temporary))
            writeFailed("cannot create a file in", folder);
        temporary_ = temporary;
        file_ = UniqueHandle(CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_.valid()) {
            DeleteFileA(temporary_.c_str());
            writeFailed("cannot create", temporary_);
        }
    }

    ~Win32OutputFile() override {
        if (committed_) return;
        file_.close();
        DeleteFileA(temporary_.c_str());
    }

    void write(std::span<const std::uint8_t> data) override {
        while (!data.empty()) {
            const auto want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 24));
            DWORD written = 0;
            if (!WriteFile(file_.get(), data.data(), want, &written, nullptr) || written == 0)
                writeFailed("cannot write", target_);
            data = data.subspan(written);
        }
    }

    void commit() override {
        if (restoreAttributes_ && entry_.modified) {
            const FILETIME modified = toFileTime(*entry_.modified);
            if (!SetFileTime(file_.get(), nullptr, nullptr, &modified))
                writeFailed("cannot set the time of", target_);
        }
        if (!file_.close()) writeFailed("cannot write", target_);
        // The engine agreed to replace the file; a read-only one would refuse to be replaced.
        const DWORD existing = GetFileAttributesA(target_.c_str());
        if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(target_.c_str(), existing & ~DWORD{FILE_ATTRIBUTE_READONLY});
        if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING))
            writeFailed("cannot replace", target_);
        committed_ = true;
        const DWORD attributes = restoreAttributes_ ? storedAttributes(entry_) : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileAttributesA(target_.c_str(), attributes))
            writeFailed("cannot set the attributes of", target_);
    }

  private:
    std::string target_;
    std::string temporary_;
    const qov::ArchiveEntry& entry_;
    bool restoreAttributes_;
    UniqueHandle file_;
    bool committed_ = false;
};

} // namespace

void createFolders(const std::string& path) {
    if (path.empty() || isFolder(path)) return;
    const std::string parent = parentOf(path);
    if (parent != path) createFolders(parent);
    if (!CreateDirectoryA(path.c_str(), nullptr) && !isFolder(path))
        writeFailed("cannot create folder", path);
}

Win32FileSink::Win32FileSink(std::string destination, const std::map<std::size_t, std::string>& ansiPaths,
                             bool restoreAttributes, QovOverwriteCallback overwrite)
    : destination_(std::move(destination)), ansiPaths_(ansiPaths), restoreAttributes_(restoreAttributes),
      overwrite_(overwrite) {
    while (destination_.size() > 1 && (destination_.back() == '\\' || destination_.back() == '/') &&
           destination_[destination_.size() - 2] != ':')
        destination_.pop_back();
}

std::string Win32FileSink::fullPath(const qov::ArchiveEntry& entry) const {
    const std::string& relative = ansiPaths_.at(entry.index);
    if (destination_.empty()) return relative;
    const char last = destination_.back();
    return last == '\\' || last == '/' ? destination_ + relative : destination_ + "\\" + relative;
}

void Win32FileSink::createFolder(const qov::ArchiveEntry& entry, const qov::RelativePath&) {
    const std::string path = fullPath(entry);
    createFolders(path);
    folders_.emplace_back(path, &entry);
}

std::unique_ptr<qov::OutputFile> Win32FileSink::createFile(const qov::ArchiveEntry& entry,
                                                           const qov::RelativePath&) {
    const std::string path = fullPath(entry);
    createFolders(parentOf(path));
    WIN32_FILE_ATTRIBUTE_DATA existing;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &existing)) {
        if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            qov::fail(ErrorCode::WriteFailed, "a folder stands where a file belongs: " + path);
        if (overwrite_) {
            const std::uint64_t modified = entry.modified.value_or(0);
            const int answer = overwrite_(
                path.c_str(), existing.nFileSizeLow, existing.nFileSizeHigh,
                existing.ftLastWriteTime.dwLowDateTime, existing.ftLastWriteTime.dwHighDateTime,
                static_cast<std::uint32_t>(entry.size), static_cast<std::uint32_t>(entry.size >> 32),
                static_cast<std::uint32_t>(modified), static_cast<std::uint32_t>(modified >> 32), 0);
            if (answer != QovOverwrite) return nullptr;
        }
    }
    return std::make_unique<Win32OutputFile>(path, entry, restoreAttributes_);
}

void Win32FileSink::finishFolders() {
    if (!restoreAttributes_) return;
    // Deepest first, so setting a folder's time is not undone by touching one inside it.
    std::sort(folders_.begin(), folders_.end(),
              [](auto& a, auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [path, entry] : folders_) {
        if (entry->modified) {
            UniqueHandle folder(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            const FILETIME modified = toFileTime(*entry->modified);
            if (!folder.valid() || !SetFileTime(folder.get(), nullptr, nullptr, &modified))
                writeFailed("cannot set the time of", path);
        }
        const DWORD attributes = entry->windowsAttributes() & settableAttributes;
        if (attributes != 0 && !SetFileAttributesA(path.c_str(), attributes))
            writeFailed("cannot set the attributes of", path);
    }
}

} // namespace qovdll
