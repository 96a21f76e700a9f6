#include "wow64FileView.h"

#include <windows.h>

namespace quillon {

namespace {

// Windows before XP has none of these functions, so they are looked up when needed.
template <typename Function> Function kernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                  : nullptr;
}

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using DisableRedirectionFunction = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFunction = BOOL(WINAPI*)(PVOID);

bool underWow64() {
    static const bool wow64 = [] {
        auto isWow64Process = kernelFunction<IsWow64ProcessFunction>("IsWow64Process");
        BOOL result = FALSE;
        return isWow64Process && isWow64Process(GetCurrentProcess(), &result) && result;
    }();
    return wow64;
}

} // namespace

Wow64FileView::Wow64FileView(const std::string& targetPlatform) {
    if (targetPlatform == "Win32" || !underWow64()) return;
    auto disable = kernelFunction<DisableRedirectionFunction>("Wow64DisableWow64FsRedirection");
    disabled_ = disable && disable(&previous_);
}

Wow64FileView::~Wow64FileView() {
    if (!disabled_) return;
    if (auto revert = kernelFunction<RevertRedirectionFunction>("Wow64RevertWow64FsRedirection"))
        revert(previous_);
}

} // namespace quillon
