// A check of the 64-bit file view under Wine, run by tests/e2e/test_string_commands.py:
//   wow64FileViewCheck <path of a file in the 64-bit system folder>
// prints whether the file is seen without a view, inside a view for "x64", inside one for "Win32"
// and after the views have ended, as "plain=N x64=N win32=N after=N".
#include "commands/wow64FileView.h"

#include <windows.h>

#include <cstdio>

namespace {

bool seen(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: wow64FileViewCheck <file in the 64-bit system folder>\n");
        return 2;
    }
    const char* path = argv[1];
    bool plain = seen(path), x64 = false, win32 = false;
    {
        quillon::Wow64FileView view("x64");
        x64 = seen(path);
    }
    {
        quillon::Wow64FileView view("Win32");
        win32 = seen(path);
    }
    std::printf("plain=%d x64=%d win32=%d after=%d\n", plain, x64, win32, seen(path));
    return 0;
}
