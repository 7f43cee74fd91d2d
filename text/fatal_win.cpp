// Windows side of the fatal run-time error: a modal error box, then the whole process ends.
#include <windows.h>

#include <string>

#include "text/fatal.h"
#include "text/wide.h"

namespace {

[[noreturn]] void ShowAndExit(const Text& message) {
    // The texts are GBK; convert with code page 936 so the box reads right on any system locale.
    const std::wstring body = GbkToWide(message);
    const std::wstring title = GbkToWide("\xB4\xED\xCE\xF3");  // 错误
    // No owner: the box may come from any thread, including one that owns no window.
    MessageBoxW(nullptr, body.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    // ExitProcess ends every thread, whichever one hit the error.
    ExitProcess(static_cast<UINT>(-1));
}

}  // namespace

void FatalError(std::optional<int> code, std::string_view message) { ShowAndExit(FatalMessageText(code, message)); }
