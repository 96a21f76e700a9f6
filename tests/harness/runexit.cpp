// runexit CODEFILE PROGRAM [ARGS...]
//
// Runs PROGRAM, waits for it and writes its full 32-bit exit code to CODEFILE as "exit=<code>".
// Wine hands a Windows exit code to Unix as an 8-bit exit status, so the test harness launches
// programs through this tool to see codes such as 314.  Everything after CODEFILE is passed on
// as the child's command line exactly as written, so quoting reaches the program untouched.
// If the program cannot be started, CODEFILE receives "launch-error=<GetLastError>" and the
// exit code is 255.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE value) : h(value) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

const wchar_t* skipSpaces(const wchar_t* p) {
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

// The program name is split like CreateProcess does: a quoted run or up to the first blank.
const wchar_t* skipProgramName(const wchar_t* p) {
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {
        }
        return *p ? p + 1 : p;
    }
    while (*p && *p != L' ' && *p != L'\t')
        ++p;
    return p;
}

// Ordinary arguments follow the C runtime rules (backslashes before quotes, "" inside quotes).
const wchar_t* nextArgument(const wchar_t* p, std::wstring& out) {
    out.clear();
    bool quoted = false;
    while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
        size_t slashes = 0;
        while (*p == L'\\') {
            ++slashes;
            ++p;
        }
        if (*p == L'"') {
            out.append(slashes / 2, L'\\');
            if (slashes % 2) {
                out += L'"';
            } else if (quoted && p[1] == L'"') {
                out += L'"';
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
        } else {
            out.append(slashes, L'\\');
            if (*p) out += *p++;
        }
    }
    return p;
}

void writeCodeFile(const std::wstring& path, const char* key, unsigned long value) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    std::fprintf(f, "%s=%lu\n", key, value);
    std::fclose(f);
}

HANDLE inheritable(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return h;
}

} // namespace

int main() {
    const wchar_t* p = skipSpaces(skipProgramName(GetCommandLineW()));
    std::wstring codeFile;
    p = skipSpaces(nextArgument(p, codeFile));
    if (codeFile.empty() || !*p) {
        std::fputs("usage: runexit CODEFILE PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    std::wstring childLine = p;

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inheritable(STD_INPUT_HANDLE);
    si.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    si.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, childLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        DWORD error = GetLastError();
        writeCodeFile(codeFile, "launch-error", error);
        std::fprintf(stderr, "runexit: cannot start %ls (error %lu)\n", childLine.c_str(), error);
        return 255;
    }
    Handle process(pi.hProcess);
    Handle thread(pi.hThread);
    WaitForSingleObject(process.h, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.h, &code);
    writeCodeFile(codeFile, "exit", code);
    return static_cast<int>(code);
}
