#include "traceLog.h"

#include "bootstrap/engineState.h"
#include "bootstrap/winFiles.h"
#include "bootstrap/windowsVersion.h"

#include <windows.h>

#include <mutex>

namespace quillon {

namespace {

std::mutex logLock;
bool firstWriteDone = false;

std::string encodeLine(const std::string& line) {
    std::string text = line + "\r\n";
    static const bool unicode = runningOnNtFamily();
    if (!unicode) return text;
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    std::string bytes;
    for (wchar_t unit : wide) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>((unit >> 8) & 0xff);
    }
    return bytes;
}

} // namespace

void writeTraceLine(const std::string& path, const std::string& line) {
    if (path.empty()) return;
    std::string bytes = encodeLine(line);
    std::lock_guard<std::mutex> guard(logLock);
    DWORD disposition = firstWriteDone ? OPEN_ALWAYS : CREATE_ALWAYS;
    firstWriteDone = true;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    // A log that cannot be written must not stop the installation.
    if (!file.valid()) return;
    LARGE_INTEGER end{};
    SetFilePointerEx(file.get(), end, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void trace(const std::string& line) {
    writeTraceLine(engine().logPath, line);
}

} // namespace quillon
