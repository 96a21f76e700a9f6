// uidriver: looks at and drives the windows of other programs running in the same Wine prefix.
// Run it with the same WINEPREFIX (and so the same wineserver) and DISPLAY as the program under test.
// Every result is one JSON object per line on stdout, flushed at once.
#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace {

const char* const UsageText = R"(usage: uidriver COMMAND [OPTIONS]

  list [--all] [--pid PID] [--root HWND]
        Top-level windows (only visible ones unless --all) followed by all their descendants,
        one JSON object per window.  --root lists HWND and its descendants only.
  info HWND                  the JSON object of one window
  text HWND                  {"hwnd":..., "text":...}
  wait-window [--title REGEX] [--class NAME] [--pid PID] [--all] [--timeout MS]
        Waits for a top-level window that matches every filter given (the title regex is
        searched, not anchored; the class is compared without case) and prints it.
  wait-gone HWND [--timeout MS]    waits until the window is destroyed
  click HWND [--mouse]       posts BM_CLICK; --mouse moves the pointer to the centre of the
                             window and presses the left button there
  key HWND VK                posts WM_KEYDOWN/WM_KEYUP; VK is a number or one of
                             RETURN SPACE ESCAPE TAB LEFT RIGHT UP DOWN
  set-text HWND TEXT         sends WM_SETTEXT
  close HWND                 posts WM_CLOSE
  reg-query KEY [--value NAME] [--view 32|64]
        Values of a registry key, {"name":..., "type":..., "data":...} per value, then
        {"subkey":...} per subkey; with --value only that value.  KEY starts with HKLM, HKCU,
        HKCR, HKU or HKCC (or the long HKEY_ names).  REG_SZ and REG_EXPAND_SZ data are strings,
        REG_MULTI_SZ a list, REG_DWORD and REG_QWORD numbers, anything else a hex string.

  HWND is hexadecimal (0x optional).  Timeouts default to 10000 ms.

exit codes: 0 done, 1 timed out or not found, 2 usage error, 3 no such window
)";

constexpr int ExitOk = 0;
constexpr int ExitNotFound = 1;
constexpr int ExitUsage = 2;
constexpr int ExitNoWindow = 3;

// A reply from a thread that pumps messages comes in microseconds; one that does not pump
// must not stall a listing.
constexpr UINT MessageTimeoutMs = 500;
constexpr DWORD PollMs = 100;

struct UsageError {
    std::string message;
};

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string json(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : utf8(text)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string hex(unsigned long long value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", value);
    return buf;
}

std::string hwndText(HWND h) {
    return hex(reinterpret_cast<UINT_PTR>(h));
}

std::string rectJson(const RECT& r) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
    return buf;
}

void emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool equalsNoCase(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool startsWithNoCase(const std::wstring& s, const wchar_t* prefix) {
    return _wcsnicmp(s.c_str(), prefix, std::wcslen(prefix)) == 0;
}

std::wstring className(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// GetWindowText reads the caption the window manager keeps for windows of other processes and
// sends no message, so it works for threads that never pump.  GetWindowTextLength would send one.
std::wstring caption(HWND h) {
    std::vector<wchar_t> buf(32768);
    int n = GetWindowTextW(h, buf.data(), static_cast<int>(buf.size()));
    return std::wstring(buf.data(), n > 0 ? n : 0);
}

class Inspector {
  public:
    // Whether messages to windows of this thread are answered.  Asked once per thread.
    bool responsive(HWND h) {
        DWORD tid = GetWindowThreadProcessId(h, nullptr);
        auto it = responsive_.find(tid);
        if (it != responsive_.end()) return it->second;
        DWORD_PTR result = 0;
        bool ok = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, MessageTimeoutMs,
                                      &result) != 0;
        responsive_[tid] = ok;
        return ok;
    }

    std::optional<LRESULT> send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (!responsive(h)) return std::nullopt;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, MessageTimeoutMs, &result))
            return std::nullopt;
        return static_cast<LRESULT>(result);
    }

    // Edit and combo box contents are not kept in the caption; ask the control itself and fall
    // back to the caption when it does not answer.
    std::wstring text(HWND h) {
        std::wstring cls = className(h);
        bool ownsText = equalsNoCase(cls, L"Edit") || equalsNoCase(cls, L"ComboBox") ||
                        startsWithNoCase(cls, L"RichEdit") || startsWithNoCase(cls, L"RICHEDIT");
        if (ownsText) {
            if (auto len = send(h, WM_GETTEXTLENGTH, 0, 0); len && *len >= 0) {
                std::vector<wchar_t> buf(static_cast<size_t>(*len) + 1);
                if (auto got = send(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data())))
                    return std::wstring(buf.data(), static_cast<size_t>(*got));
            }
        }
        return caption(h);
    }

    // Items of list boxes and combo boxes that keep strings (owner-drawn lists may not).
    std::optional<std::vector<std::wstring>> items(HWND h, const std::wstring& cls, LONG style) {
        UINT getCount, getLen, getText;
        if (equalsNoCase(cls, L"ListBox") || equalsNoCase(cls, L"ComboLBox")) {
            if ((style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) && !(style & LBS_HASSTRINGS))
                return std::nullopt;
            getCount = LB_GETCOUNT, getLen = LB_GETTEXTLEN, getText = LB_GETTEXT;
        } else if (equalsNoCase(cls, L"ComboBox")) {
            if ((style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) && !(style & CBS_HASSTRINGS))
                return std::nullopt;
            getCount = CB_GETCOUNT, getLen = CB_GETLBTEXTLEN, getText = CB_GETLBTEXT;
        } else {
            return std::nullopt;
        }
        auto count = send(h, getCount, 0, 0);
        if (!count || *count < 0) return std::nullopt;
        std::vector<std::wstring> out;
        for (LRESULT i = 0; i < *count; ++i) {
            auto len = send(h, getLen, i, 0);
            if (!len || *len < 0) return std::nullopt;
            std::vector<wchar_t> buf(static_cast<size_t>(*len) + 1);
            auto got = send(h, getText, i, reinterpret_cast<LPARAM>(buf.data()));
            if (!got || *got < 0) return std::nullopt;
            out.emplace_back(buf.data(), static_cast<size_t>(*got));
        }
        return out;
    }

    std::string describe(HWND h) {
        DWORD pid = 0;
        DWORD tid = GetWindowThreadProcessId(h, &pid);
        std::wstring cls = className(h);
        LONG style = GetWindowLongW(h, GWL_STYLE);
        LONG exstyle = GetWindowLongW(h, GWL_EXSTYLE);
        bool isChild = (style & WS_CHILD) != 0;
        HWND parent = GetAncestor(h, GA_PARENT);
        if (parent == GetDesktopWindow()) parent = nullptr;

        RECT window{}, client{};
        GetWindowRect(h, &window);
        GetClientRect(h, &client);
        POINT origin{0, 0};
        ClientToScreen(h, &origin);
        RECT clientScreen{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};

        std::string s = "{\"hwnd\":\"" + hwndText(h) + "\",\"parent\":\"" + hwndText(parent) +
                        "\",\"owner\":\"" + hwndText(GetWindow(h, GW_OWNER)) + "\"";
        s += ",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(tid);
        s += ",\"class\":" + json(cls) + ",\"text\":" + json(text(h));
        s += ",\"id\":" + std::to_string(isChild ? GetWindowLongPtrW(h, GWLP_ID) : 0);
        s += std::string(",\"visible\":") + (IsWindowVisible(h) ? "true" : "false");
        s += std::string(",\"enabled\":") + (IsWindowEnabled(h) ? "true" : "false");
        s += ",\"rect\":" + rectJson(window) + ",\"client\":" + rectJson(clientScreen);
        s += ",\"client_size\":[" + std::to_string(client.right) + "," + std::to_string(client.bottom) + "]";
        s += ",\"style\":\"" + hex(static_cast<DWORD>(style)) + "\",\"exstyle\":\"" +
             hex(static_cast<DWORD>(exstyle)) + "\"";
        if (equalsNoCase(cls, L"Button")) {
            switch (style & BS_TYPEMASK) {
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_3STATE:
            case BS_AUTO3STATE:
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON:
                if (auto state = send(h, BM_GETCHECK, 0, 0)) s += ",\"checked\":" + std::to_string(*state);
            }
        }
        if (auto list = items(h, cls, style)) {
            s += ",\"items\":[";
            for (size_t i = 0; i < list->size(); ++i)
                s += (i ? "," : "") + json((*list)[i]);
            s += "]";
            UINT getSel = equalsNoCase(cls, L"ComboBox") ? CB_GETCURSEL : LB_GETCURSEL;
            if (auto sel = send(h, getSel, 0, 0)) s += ",\"selected\":" + std::to_string(*sel);
        }
        return s + "}";
    }

  private:
    std::map<DWORD, bool> responsive_;
};

BOOL CALLBACK collectWindow(HWND h, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
    return TRUE;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> out;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&out));
    return out;
}

// EnumChildWindows already walks all descendants, parents before their children.
std::vector<HWND> descendants(HWND h) {
    std::vector<HWND> out;
    EnumChildWindows(h, collectWindow, reinterpret_cast<LPARAM>(&out));
    return out;
}

DWORD windowPid(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

class Args {
  public:
    Args(int argc, wchar_t** argv, int first) : args_(argv + first, argv + argc) {}

    bool flag(const wchar_t* name) {
        for (size_t i = 0; i < args_.size(); ++i) {
            if (args_[i] == name) {
                args_.erase(args_.begin() + static_cast<long>(i));
                return true;
            }
        }
        return false;
    }

    std::optional<std::wstring> option(const wchar_t* name) {
        for (size_t i = 0; i < args_.size(); ++i) {
            if (args_[i] == name) {
                if (i + 1 >= args_.size()) throw UsageError{utf8(name) + " needs a value"};
                std::wstring value = args_[i + 1];
                args_.erase(args_.begin() + static_cast<long>(i), args_.begin() + static_cast<long>(i) + 2);
                return value;
            }
        }
        return std::nullopt;
    }

    std::wstring positional() {
        if (args_.empty() || args_.front().starts_with(L"--")) throw UsageError{"missing argument"};
        std::wstring value = args_.front();
        args_.erase(args_.begin());
        return value;
    }

    void done() const {
        if (!args_.empty()) throw UsageError{"unexpected argument " + utf8(args_.front())};
    }

  private:
    std::vector<std::wstring> args_;
};

unsigned long long parseNumber(const std::wstring& text, int base) {
    wchar_t* end = nullptr;
    unsigned long long value = std::wcstoull(text.c_str(), &end, base);
    if (text.empty() || *end) throw UsageError{"not a number: " + utf8(text)};
    return value;
}

HWND parseHwnd(const std::wstring& text) {
    return reinterpret_cast<HWND>(parseNumber(text, 16));
}

DWORD timeoutOption(Args& args) {
    auto t = args.option(L"--timeout");
    return t ? static_cast<DWORD>(parseNumber(*t, 10)) : 10000;
}

HWND existingWindow(Args& args) {
    HWND h = parseHwnd(args.positional());
    if (!IsWindow(h)) {
        std::fprintf(stderr, "uidriver: no window %s\n", hwndText(h).c_str());
        std::exit(ExitNoWindow);
    }
    return h;
}

int cmdList(Args& args) {
    bool all = args.flag(L"--all");
    auto pid = args.option(L"--pid");
    auto root = args.option(L"--root");
    args.done();
    Inspector inspector;
    std::vector<HWND> roots;
    if (root) {
        HWND h = parseHwnd(*root);
        if (!IsWindow(h)) return ExitNoWindow;
        roots.push_back(h);
    } else {
        roots = topLevelWindows();
    }
    DWORD wantedPid = pid ? static_cast<DWORD>(parseNumber(*pid, 10)) : 0;
    for (HWND top : roots) {
        if (!root && !all && !IsWindowVisible(top)) continue;
        if (wantedPid && windowPid(top) != wantedPid) continue;
        emit(inspector.describe(top));
        for (HWND c : descendants(top)) {
            if (all || IsWindowVisible(c)) emit(inspector.describe(c));
        }
    }
    return ExitOk;
}

int cmdInfo(Args& args) {
    HWND h = existingWindow(args);
    args.done();
    emit(Inspector().describe(h));
    return ExitOk;
}

int cmdText(Args& args) {
    HWND h = existingWindow(args);
    args.done();
    emit("{\"hwnd\":\"" + hwndText(h) + "\",\"text\":" + json(Inspector().text(h)) + "}");
    return ExitOk;
}

int cmdWaitWindow(Args& args) {
    auto title = args.option(L"--title");
    auto cls = args.option(L"--class");
    auto pid = args.option(L"--pid");
    bool all = args.flag(L"--all");
    DWORD timeout = timeoutOption(args);
    args.done();
    std::optional<std::wregex> pattern;
    try {
        if (title) pattern.emplace(*title);
    } catch (const std::regex_error&) {
        throw UsageError{"bad title pattern"};
    }
    DWORD wantedPid = pid ? static_cast<DWORD>(parseNumber(*pid, 10)) : 0;
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND h : topLevelWindows()) {
            if (!all && !IsWindowVisible(h)) continue;
            if (wantedPid && windowPid(h) != wantedPid) continue;
            if (cls && !equalsNoCase(className(h), *cls)) continue;
            if (pattern && !std::regex_search(caption(h), *pattern)) continue;
            emit(Inspector().describe(h));
            return ExitOk;
        }
        if (GetTickCount() - start >= timeout) return ExitNotFound;
        Sleep(PollMs);
    }
}

int cmdWaitGone(Args& args) {
    HWND h = parseHwnd(args.positional());
    DWORD timeout = timeoutOption(args);
    args.done();
    DWORD start = GetTickCount();
    while (IsWindow(h)) {
        if (GetTickCount() - start >= timeout) return ExitNotFound;
        Sleep(PollMs);
    }
    return ExitOk;
}

void mouseClickAt(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    int x = (r.left + r.right) / 2;
    int y = (r.top + r.bottom) / 2;
    SetForegroundWindow(GetAncestor(h, GA_ROOT));
    SetCursorPos(x, y);
    INPUT input[2] = {};
    for (INPUT& i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        i.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

int cmdClick(Args& args) {
    HWND h = existingWindow(args);
    bool mouse = args.flag(L"--mouse");
    args.done();
    if (mouse) {
        mouseClickAt(h);
    } else {
        // Posted, not sent: the click may open a modal dialog, and a sent message would only
        // return once that dialog closes.
        PostMessageW(h, BM_CLICK, 0, 0);
    }
    return ExitOk;
}

UINT parseVirtualKey(const std::wstring& name) {
    static const std::map<std::wstring, UINT> names = {
        {L"RETURN", VK_RETURN}, {L"SPACE", VK_SPACE}, {L"ESCAPE", VK_ESCAPE}, {L"TAB", VK_TAB},
        {L"LEFT", VK_LEFT},     {L"RIGHT", VK_RIGHT}, {L"UP", VK_UP},         {L"DOWN", VK_DOWN},
    };
    if (auto it = names.find(name); it != names.end()) return it->second;
    return static_cast<UINT>(parseNumber(name, 0));
}

int cmdKey(Args& args) {
    HWND h = existingWindow(args);
    UINT vk = parseVirtualKey(args.positional());
    args.done();
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(h, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(h, WM_KEYUP, vk, scan | 1 | (LPARAM(1) << 30) | (LPARAM(1) << 31));
    return ExitOk;
}

int cmdSetText(Args& args) {
    HWND h = existingWindow(args);
    std::wstring text = args.positional();
    args.done();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             MessageTimeoutMs * 4, &result))
        return ExitNotFound;
    return ExitOk;
}

int cmdClose(Args& args) {
    HWND h = existingWindow(args);
    args.done();
    PostMessageW(h, WM_CLOSE, 0, 0);
    return ExitOk;
}

std::string registryData(DWORD type, const std::vector<BYTE>& data) {
    auto wide = [&](size_t bytes) {
        std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
        return s;
    };
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring s = wide(data.size());
        if (auto nul = s.find(L'\0'); nul != std::wstring::npos) s.resize(nul);
        return json(s);
    }
    case REG_MULTI_SZ: {
        std::wstring s = wide(data.size());
        std::string out = "[";
        size_t pos = 0;
        bool first = true;
        while (pos < s.size() && s[pos] != L'\0') {
            size_t nul = s.find(L'\0', pos);
            if (nul == std::wstring::npos) nul = s.size();
            out += (first ? "" : ",") + json(s.substr(pos, nul - pos));
            first = false;
            pos = nul + 1;
        }
        return out + "]";
    }
    case REG_DWORD:
        if (data.size() >= 4) return std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
        break;
    case REG_QWORD:
        if (data.size() >= 8) return std::to_string(*reinterpret_cast<const ULONGLONG*>(data.data()));
        break;
    }
    std::string out = "\"";
    for (BYTE b : data) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out + "\"";
}

const char* registryTypeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "REG_UNKNOWN";
    }
}

struct RegKey {
    HKEY h = nullptr;
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (h) RegCloseKey(h);
    }
};

HKEY parseRoot(const std::wstring& name) {
    static const std::map<std::wstring, HKEY> roots = {
        {L"HKLM", HKEY_LOCAL_MACHINE},  {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKCU", HKEY_CURRENT_USER},   {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKCR", HKEY_CLASSES_ROOT},   {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKU", HKEY_USERS},           {L"HKEY_USERS", HKEY_USERS},
        {L"HKCC", HKEY_CURRENT_CONFIG}, {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& [key, root] : roots) {
        if (equalsNoCase(key, name)) return root;
    }
    throw UsageError{"unknown registry root " + utf8(name)};
}

void emitValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
    emit("{\"name\":" + json(name) + ",\"type\":\"" + registryTypeName(type) +
         "\",\"data\":" + registryData(type, data) + "}");
}

int cmdRegQuery(Args& args) {
    std::wstring path = args.positional();
    auto valueName = args.option(L"--value");
    auto view = args.option(L"--view");
    args.done();
    REGSAM sam = KEY_READ;
    if (view && *view == L"32")
        sam |= KEY_WOW64_32KEY;
    else if (view && *view == L"64")
        sam |= KEY_WOW64_64KEY;
    else if (view)
        throw UsageError{"--view is 32 or 64"};
    size_t slash = path.find(L'\\');
    HKEY root = parseRoot(path.substr(0, slash));
    std::wstring sub = slash == std::wstring::npos ? L"" : path.substr(slash + 1);

    RegKey key;
    if (RegOpenKeyExW(root, sub.c_str(), 0, sam, &key.h) != ERROR_SUCCESS) return ExitNotFound;

    if (valueName) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key.h, valueName->c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return ExitNotFound;
        std::vector<BYTE> data(size);
        RegQueryValueExW(key.h, valueName->c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
        emitValue(*valueName, type, data);
        return ExitOk;
    }
    DWORD maxName = 0, maxData = 0, maxSubkey = 0;
    RegQueryInfoKeyW(key.h, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr, &maxName,
                     &maxData, nullptr, nullptr);
    for (DWORD i = 0;; ++i) {
        std::vector<wchar_t> name(maxName + 2);
        std::vector<BYTE> data(maxData + 2);
        DWORD nameLen = static_cast<DWORD>(name.size()), dataLen = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key.h, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen) !=
            ERROR_SUCCESS)
            break;
        data.resize(dataLen);
        emitValue(std::wstring(name.data(), nameLen), type, data);
    }
    for (DWORD i = 0;; ++i) {
        std::vector<wchar_t> name(maxSubkey + 2);
        DWORD nameLen = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key.h, i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        emit("{\"subkey\":" + json(std::wstring(name.data(), nameLen)) + "}");
    }
    return ExitOk;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) throw UsageError{"missing command"};
    std::wstring command = argv[1];
    Args args(argc, argv, 2);
    static const std::map<std::wstring, int (*)(Args&)> commands = {
        {L"list", cmdList},
        {L"info", cmdInfo},
        {L"text", cmdText},
        {L"wait-window", cmdWaitWindow},
        {L"wait-gone", cmdWaitGone},
        {L"click", cmdClick},
        {L"key", cmdKey},
        {L"set-text", cmdSetText},
        {L"close", cmdClose},
        {L"reg-query", cmdRegQuery},
    };
    auto it = commands.find(command);
    if (it == commands.end()) throw UsageError{"unknown command " + utf8(command)};
    return it->second(args);
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 2 && (std::wstring(argv[1]) == L"--help" || std::wstring(argv[1]) == L"help")) {
        std::fputs(UsageText, stdout);
        return ExitOk;
    }
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "uidriver: %s\n\n%s", e.message.c_str(), UsageText);
        return ExitUsage;
    }
}
