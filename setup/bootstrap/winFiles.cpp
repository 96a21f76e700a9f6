#include "winFiles.h"

#include <algorithm>
#include <vector>

namespace quillon {

std::string systemMessage(DWORD code) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

WindowsError::WindowsError(const std::string& what, DWORD code)
    : std::runtime_error(what + ": " + systemMessage(code)), code_(code) {}

std::string withBackslash(std::string folder) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

bool fileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool pathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void createFolderTree(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (path.empty() || folderExists(path)) return;
    size_t cut = path.find_last_of('\\');
    // Stop at a drive root ("C:") or a share root, which cannot be created.
    if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':' && path[cut - 1] != '\\')
        createFolderTree(path.substr(0, cut));
    if (!CreateDirectoryA(path.c_str(), nullptr) && !folderExists(path))
        throw WindowsError("Cannot create the folder " + path, GetLastError());
}

uint64_t fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        throw WindowsError("Cannot read the size of " + path, GetLastError());
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string readFileRange(const std::string& path, uint64_t offset, uint64_t size) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) throw WindowsError("Cannot open " + path, GetLastError());
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        throw WindowsError("Cannot read " + path, GetLastError());
    std::string data;
    std::vector<char> buffer(64 * 1024);
    while (data.size() < size) {
        DWORD want = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), size - data.size())), got = 0;
        if (!ReadFile(file.get(), buffer.data(), want, &got, nullptr))
            throw WindowsError("Cannot read " + path, GetLastError());
        if (got == 0) break;
        data.append(buffer.data(), got);
    }
    return data;
}

std::string readWholeFile(const std::string& path) {
    return readFileRange(path, 0, fileSize(path));
}

void deleteFolderContents(const std::string& folder) {
    std::string base = withBackslash(folder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((base + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = base + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            deleteFolderContents(path);
            RemoveDirectoryA(path.c_str());
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string modulePath(HMODULE module) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) throw WindowsError("Cannot read the program's own path", GetLastError());
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace quillon
