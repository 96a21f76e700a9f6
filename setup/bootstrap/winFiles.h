// Small file-system helpers over the ANSI Windows API, as the engine names files in the system code page.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace quillon {

// A failed Windows call, with the system's message for the error code.
class WindowsError : public std::runtime_error {
  public:
    WindowsError(const std::string& what, DWORD code);
    DWORD code() const { return code_; }

  private:
    DWORD code_;
};

std::string systemMessage(DWORD code);

// Appends a backslash unless the text already ends with one.
std::string withBackslash(std::string folder);

bool fileExists(const std::string& path); // an existing file, not a folder
bool folderExists(const std::string& path);
bool pathExists(const std::string& path); // a file or a folder

// Creates the folder and any missing parents; throws WindowsError when that is impossible.
void createFolderTree(const std::string& folder);

std::string readWholeFile(const std::string& path);
std::string readFileRange(const std::string& path, uint64_t offset, uint64_t size);
uint64_t fileSize(const std::string& path);

// Empties the folder: attributes of every file reset to normal, then the file deleted; subfolders
// emptied and removed. Errors are ignored, as the caller repeats the pass.
void deleteFolderContents(const std::string& folder);

std::string modulePath(HMODULE module);

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    FileHandle(FileHandle&& other) noexcept : handle_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE release() {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(handle_);
        handle_ = handle;
    }

  private:
    HANDLE handle_;
};

} // namespace quillon
