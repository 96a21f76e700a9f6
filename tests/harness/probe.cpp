// A small Windows program the harness self-tests run to see what a program under Wine sees.
//
//   probe info                 one JSON line: version (GetVersionEx and RtlGetVersion), temp folder,
//                              Windows and system folders, WOW64 state
//   probe args [ARGS...]       one JSON line: the arguments after "args", the working folder and
//                              the environment variable QUILLON_PROBE
//   probe exit CODE            exits with CODE (decimal or 0x hex, full 32 bits)
//   probe window [--no-pump]   shows a window "Quillon Probe" (class QuillonProbe) with a push
//                              button "&Press" (id 100), an edit (id 101) holding "typed text"
//                              and a check box "&Check" (id 102).  Pressing the button exits
//                              with 42; closing the window exits with 10 + the check state.
//                              With --no-pump the thread never reads messages, like a start-up
//                              window of a busy program; it exits with 9 after a minute.
//   probe hold FILE            waits for FILE to appear, opens it sharing reading and writing but
//                              not deletion, prints "held" and keeps it open for a minute (as a
//                              virus scanner would); exits 1 when FILE does not appear in a minute
#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr int ButtonId = 100;
constexpr int EditId = 101;
constexpr int CheckId = 102;

std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string jsonString(const wchar_t* s) {
    return jsonString(utf8(s));
}

int info() {
    OSVERSIONINFOEXW v{};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v));

    // RtlGetVersion is not subject to the compatibility shims that adjust GetVersionEx.
    OSVERSIONINFOEXW rtl{};
    rtl.dwOSVersionInfoSize = sizeof rtl;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    if (auto fn = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"))))
        fn(&rtl);

    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    wchar_t windir[MAX_PATH] = {};
    GetWindowsDirectoryW(windir, MAX_PATH);
    wchar_t sysdir[MAX_PATH] = {};
    GetSystemDirectoryW(sysdir, MAX_PATH);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);

    std::printf("{\"platform\":%lu,\"major\":%lu,\"minor\":%lu,\"build\":%lu,\"csd\":%s,"
                "\"rtl_major\":%lu,\"rtl_minor\":%lu,\"rtl_build\":%lu,"
                "\"temp\":%s,\"windir\":%s,\"sysdir\":%s,\"wow64\":%s,\"pointer_bits\":%u}\n",
                v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber,
                jsonString(v.szCSDVersion).c_str(), rtl.dwMajorVersion, rtl.dwMinorVersion, rtl.dwBuildNumber,
                jsonString(temp).c_str(), jsonString(windir).c_str(), jsonString(sysdir).c_str(),
                wow64 ? "true" : "false", static_cast<unsigned>(sizeof(void*) * 8));
    return 0;
}

int args(int argc, wchar_t** argv) {
    std::string list;
    for (int i = 2; i < argc; ++i)
        list += (list.empty() ? "" : ",") + jsonString(argv[i]);
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    wchar_t env[1024];
    DWORD n = GetEnvironmentVariableW(L"QUILLON_PROBE", env, 1024);
    std::printf("{\"argv\":[%s],\"cwd\":%s,\"env\":%s}\n", list.c_str(), jsonString(cwd).c_str(),
                n ? jsonString(env).c_str() : "null");
    return 0;
}

LRESULT CALLBACK probeWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == ButtonId && HIWORD(wp) == BN_CLICKED) {
            std::puts("clicked");
            std::fflush(stdout);
            PostQuitMessage(42);
            return 0;
        }
        break;
    case WM_CLOSE: {
        auto state = SendDlgItemMessageW(hwnd, CheckId, BM_GETCHECK, 0, 0);
        DestroyWindow(hwnd);
        PostQuitMessage(10 + static_cast<int>(state));
        return 0;
    }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int window(bool pump) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = probeWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QuillonProbe";
    RegisterClassW(&wc);

    HWND main = CreateWindowExW(0, L"QuillonProbe", L"Quillon Probe", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300,
                                nullptr, nullptr, instance, nullptr);
    auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int id) {
        return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, w, 28, main,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    child(L"BUTTON", L"&Press", BS_PUSHBUTTON, 20, 20, 120, ButtonId);
    // Text put in with EM_REPLACESEL lives only in the edit's buffer, not in its window caption,
    // as with text a user typed; reading it from outside needs WM_GETTEXT.
    HWND edit = child(L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, 20, 60, 200, EditId);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"typed text"));
    child(L"BUTTON", L"&Check", BS_AUTOCHECKBOX, 20, 100, 120, CheckId);
    ShowWindow(main, SW_SHOW);
    UpdateWindow(main);

    if (!pump) {
        Sleep(60000);
        return 9;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int hold(const wchar_t* path) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tries = 0; file == INVALID_HANDLE_VALUE && tries < 60000; ++tries) {
        file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) Sleep(1);
    }
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(60000);
    CloseHandle(file);
    return 0;
}

int usage() {
    std::fputs("usage: probe info | args [ARGS...] | exit CODE | window [--no-pump] | hold FILE\n", stderr);
    return 2;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return usage();
    std::wstring mode = argv[1];
    if (mode == L"info") return info();
    if (mode == L"args") return args(argc, argv);
    if (mode == L"exit" && argc == 3) {
        // ExitProcess keeps every bit; a return from main would too, but say it plainly.
        std::fflush(stdout);
        ExitProcess(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0)));
    }
    if (mode == L"hold" && argc == 3) return hold(argv[2]);
    if (mode == L"window") return window(!(argc == 3 && std::wstring(argv[2]) == L"--no-pump"));
    return usage();
}
