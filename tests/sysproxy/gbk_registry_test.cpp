// The proxy switch writes GBK texts into the registry as the characters they are, whatever the
// system's code page: run with a non-936 ANSI code page (the test's environment sets LC_ALL), the
// values are read back through the W function and compared as UTF-16.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sysproxy/sysproxy.h"
#include "tests/sysproxy/settings_key.h"
#include "text/owned_handle.h"

namespace {

std::optional<std::wstring> ReadSettingsText(const wchar_t* name) {
    OwnedHandle<HKEY, RegCloseKey> key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                      KEY_READ, key.out()) != ERROR_SUCCESS) {
        key.release();
        return std::nullopt;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(size / sizeof(wchar_t));
    return text;  // with the stored NUL
}

std::wstring Stored(const std::wstring& text) { return text + L'\0'; }

TEST(GbkRegistry, TwoByteCharactersAreStoredAsThemselves) {
    ASSERT_NE(GetACP(), 936u) << "meaningful only where the ANSI code page is not GBK";
    SettingsKeyBackup backup;
    // 代理:80 with the bypass list *.本地
    ASSERT_FALSE(SetIeProxy("\xB4\xFA\xC0\xED:80", true, "*.\xB1\xBE\xB5\xD8").empty());
    EXPECT_EQ(ReadSettingsText(L"ProxyServer"), Stored(L"\u4EE3\u7406:80"));
    EXPECT_EQ(ReadSettingsText(L"ProxyOverride"), Stored(L"*.\u672C\u5730;<local>"));
    // ASCII stays ASCII, its NUL counted once in the stored size.
    SetIeProxy("127.0.0.40:80", true);
    EXPECT_EQ(ReadSettingsText(L"ProxyServer"), Stored(L"127.0.0.40:80"));
}

}  // namespace
