// The fatal run-time error under Wine: a child process hits the error, shows the modal box
// titled 错误 with the exact text, and exits with code -1 once the box is dismissed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "text/fatal.h"
#include "text/wide.h"

namespace {

std::wstring SiblingExe(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

struct Child {
    PROCESS_INFORMATION pi{};
    ~Child() {
        if (pi.hProcess) {
            TerminateProcess(pi.hProcess, 99);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
};

HWND FindBoxOf(DWORD pid, DWORD timeoutMs) {
    const std::wstring title = GbkToWide("\xB4\xED\xCE\xF3");  // 错误
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        HWND w = nullptr;
        while ((w = FindWindowExW(nullptr, w, L"#32770", title.c_str())) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid) return w;
        }
        Sleep(20);
    }
    return nullptr;
}

struct FatalCase {
    const wchar_t* mode;
    std::optional<int> code;
    Text message;
};

class FatalBox : public testing::TestWithParam<FatalCase> {};

TEST_P(FatalBox, ShowsTheBoxThenExitsMinusOne) {
    const FatalCase& c = GetParam();
    std::wstring cmd = L"\"" + SiblingExe(L"fatal_trigger.exe") + L"\" " + c.mode;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    Child child;
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &child.pi));

    HWND box = FindBoxOf(child.pi.dwProcessId, 15000);
    ASSERT_NE(box, nullptr) << "no error box";
    // The process waits on the box: it has not exited yet.
    EXPECT_EQ(WaitForSingleObject(child.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);  // the message box's text control
    EXPECT_EQ(std::wstring(text), GbkToWide(FatalMessageText(c.code, c.message)));

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(child.pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    GetExitCodeProcess(child.pi.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0xFFFFFFFFu);
}

const std::size_t kHuge = sizeof(void*) == 8 ? (std::size_t{1} << 47) : std::size_t{0xFFFFF000u};

INSTANTIATE_TEST_SUITE_P(Errors, FatalBox,
                         testing::Values(FatalCase{L"index0", kFatalIndexBelowOne, Text(kFatalIndexBelowOneMessage)},
                                         FatalCase{L"index_beyond", kFatalIndexBeyondEnd,
                                                   Text(kFatalIndexBeyondEndMessage)},
                                         FatalCase{L"alloc", std::nullopt, AllocationFailureMessage(kHuge)}),
                         [](const testing::TestParamInfo<FatalCase>& info) {
                             std::string name;
                             for (const wchar_t* p = info.param.mode; *p; ++p) name += static_cast<char>(*p);
                             return name;
                         });

}  // namespace
