// The click handlers of 按钮2 and 按钮3 on a real list-view in a window of this test: the list is
// driven through the app's own list operations, the message box is watched for from another
// thread (by its caption), read and dismissed, and the registry is read back after each click.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/list.h"
#include "sysproxy/sysproxy.h"
#include "tests/support/pump_win.h"
#include "tests/support/test_window_win.h"
#include "tests/sysproxy/settings_key.h"
#include "text/wide.h"

namespace {

#define EXPECT_STORED(name, expected) EXPECT_EQ(Describe(ReadSettingsValue(name)), Describe(expected)) << (name)

// What the watcher saw of one message box while it was up.
struct BoxSeen {
    std::wstring text;
    bool hasOk = false;
    bool hasOtherButtons = false;
    HWND owner = nullptr;
    bool mainWindowDisabled = false;
};

class ProxyButtonsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { window_ = CreateTestWindow(TestWindowShow::kOnDisplay); }
    static void TearDownTestSuite() { DestroyTestWindow(window_); }

    // Fills the list with rows of (column 0, column 1) and selects `selected` (-1: none).
    static void ShowRows(const std::vector<std::pair<Text, Text>>& rows, int selected) {
        ResetRows(rows);
        SelectRow(window_.list, selected);
        ASSERT_EQ(ListSelectedRow(), selected);
    }

    // Runs a click handler on this (the list's) thread while another thread looks for message
    // boxes captioned 信息：, records each one and presses its OK button.
    static std::vector<BoxSeen> ClickWatchingBoxes(void (*handler)()) {
        std::atomic<bool> done{false};
        std::vector<BoxSeen> seen;
        std::thread watcher([&] {
            const std::wstring caption = L"信息：";
            // Keep looking a little after the handler returned: a box must not come late either.
            DWORD doneAt = 0;
            for (;;) {
                if (done && doneAt == 0) doneAt = GetTickCount();
                if (doneAt != 0 && GetTickCount() - doneAt > 300) break;
                HWND box = FindWindowW(L"#32770", caption.c_str());
                if (box && IsWindowVisible(box)) {
                    BoxSeen s;
                    wchar_t text[512] = {};
                    GetDlgItemTextW(box, 0xFFFF, text, 512);  // the box's message text control
                    s.text = text;
                    s.hasOk = GetDlgItem(box, IDOK) != nullptr;
                    for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
                        HWND b = GetDlgItem(box, id);
                        if (b && IsWindowVisible(b)) s.hasOtherButtons = true;
                    }
                    s.owner = GetWindow(box, GW_OWNER);
                    s.mainWindowDisabled = !IsWindowEnabled(window_.window);
                    seen.push_back(s);
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                    while (IsWindow(box)) Sleep(10);
                }
                Sleep(10);
            }
        });
        handler();
        done = true;
        // Messages for the box arrive on this thread only while it pumps; the handler has
        // returned, so pump until the watcher is finished.
        PumpUntil(
            [&] { return WaitForSingleObject(reinterpret_cast<HANDLE>(watcher.native_handle()), 0) != WAIT_TIMEOUT; },
            INFINITE);
        watcher.join();
        return seen;
    }

    // A state no click may produce by accident.
    static void PutSentinelSettings() {
        PutSettingsValue("ProxyServer", SzValue("sentinel.test:3128"));
        PutSettingsValue("ProxyOverride", SzValue("sentinel;<local>"));
        PutSettingsValue("ProxyEnable", DwordValue(7));
    }
    static void ExpectSentinelSettings() {
        EXPECT_STORED("ProxyServer", SzValue("sentinel.test:3128"));
        EXPECT_STORED("ProxyOverride", SzValue("sentinel;<local>"));
        EXPECT_STORED("ProxyEnable", DwordValue(7));
    }

    static inline TestWindow window_;
    SettingsKeyBackup backup_;
};

TEST_F(ProxyButtonsTest, SetWithoutSelectionShowsTheTaskModalBoxAndWritesNothing) {
    const struct {
        const char* label;
        std::vector<std::pair<Text, Text>> rows;
    } cases[] = {
        {"empty list", {}},
        {"rows, none selected", {{"127.0.0.40", "HTTP"}, {"127.0.0.41", "HTTP"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ShowRows(c.rows, -1);
        PutSentinelSettings();
        const std::vector<BoxSeen> boxes = ClickWatchingBoxes(OnSetProxyButtonClick);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, L"请选中要使用的代理");
        EXPECT_TRUE(boxes[0].hasOk);
        EXPECT_FALSE(boxes[0].hasOtherButtons);
        EXPECT_EQ(boxes[0].owner, nullptr);
        // MB_TASKMODAL without an owner disables the thread's top-level windows while it is up.
        EXPECT_TRUE(boxes[0].mainWindowDisabled);
        EXPECT_TRUE(IsWindowEnabled(window_.window));
        ExpectSentinelSettings();
    }
}

TEST_F(ProxyButtonsTest, SetOnAnHttpRowStoresItsAddressWithPort80) {
    const std::vector<std::pair<Text, Text>> rows = {
        {"127.0.0.40", "HTTP"}, {"127.0.0.41", "HTTP"}, {"", "HTTP"}, {"127.0.0.43", "SOCKS5"}};
    const struct {
        int row;
        Text server;
    } cases[] = {{1, "127.0.0.41:80"}, {0, "127.0.0.40:80"}, {2, ":80"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(c.row));
        ShowRows(rows, c.row);
        PutSentinelSettings();
        // The second click behaves like the first.
        for (int click = 0; click < 2; ++click) {
            EXPECT_TRUE(ClickWatchingBoxes(OnSetProxyButtonClick).empty());
            EXPECT_STORED("ProxyServer", SzValue(c.server));
            EXPECT_STORED("ProxyOverride", SzValue(";<local>"));
            EXPECT_STORED("ProxyEnable", DwordValue(1));
        }
    }
}

TEST_F(ProxyButtonsTest, SetOnARowWhoseTypeIsNotExactlyHttpDoesNothing) {
    const Text types[] = {
        "http",
        "Http",
        "HTTPS",
        "HTT",
        "HTTP ",
        " HTTP",
        "",
        "SOCKS4",
        "HTTP\xB4\xFA\xC0\xED",              // HTTP代理
        "\xA3\xC8\xA3\xD4\xA3\xD4\xA3\xD0",  // ＨＴＴＰ (full-width)
    };
    for (const Text& type : types) {
        SCOPED_TRACE("type \"" + type + "\"");
        ShowRows({{"127.0.0.40", "HTTP"}, {"127.0.0.41", type}}, 1);
        PutSentinelSettings();
        EXPECT_TRUE(ClickWatchingBoxes(OnSetProxyButtonClick).empty());
        ExpectSentinelSettings();
    }
}

TEST_F(ProxyButtonsTest, CancelSwitchesOffWhateverIsSelected) {
    const struct {
        const char* label;
        int selected;
        bool serverPresent;
    } cases[] = {
        {"no selection, server kept", -1, true},
        {"non-HTTP row selected, server kept", 1, true},
        {"HTTP row selected, absent server created empty", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ShowRows({{"127.0.0.40", "HTTP"}, {"127.0.0.41", "SOCKS5"}}, c.selected);
        PutSentinelSettings();
        if (!c.serverPresent) DeleteSettingsValue("ProxyServer");
        EXPECT_TRUE(ClickWatchingBoxes(OnCancelProxyButtonClick).empty());
        EXPECT_STORED("ProxyServer", SzValue(c.serverPresent ? "sentinel.test:3128" : ""));
        EXPECT_STORED("ProxyOverride", SzValue("sentinel;<local>"));
        EXPECT_STORED("ProxyEnable", DwordValue(0));
    }
}

}  // namespace
