#include "sysproxy/sysproxy.h"

#include <windows.h>
#include <wininet.h>

#include <type_traits>

#include "app/columns.h"
#include "app/list.h"
#include "sysproxy/registry_win.h"
#include "text/wide.h"

// The record handed to INTERNET_OPTION_PROXY: access type, proxy text, bypass text (ANSI).
static_assert(std::is_same_v<decltype(INTERNET_PROXY_INFO::lpszProxy), LPCSTR> &&
                  std::is_same_v<decltype(INTERNET_PROXY_INFO::lpszProxyBypass), LPCSTR>,
              "INTERNET_PROXY_INFO must carry ANSI texts");
static_assert(sizeof(void*) != 4 || sizeof(INTERNET_PROXY_INFO) == 12,
              "the 32-bit program passes a 12-byte INTERNET_PROXY_INFO");

namespace {

constexpr const char* kSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Status texts (GBK).
// 设置IE代理：写注册表代理地址失败
constexpr const char* kSetServerFailed =
    "\xC9\xE8\xD6\xC3"
    "IE\xB4\xFA\xC0\xED\xA3\xBA\xD0\xB4\xD7\xA2\xB2\xE1\xB1\xED\xB4\xFA\xC0\xED\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC";
// 设置IE代理：写注册表不使用代理地址列表失败
constexpr const char* kSetOverrideFailed =
    "\xC9\xE8\xD6\xC3"
    "IE\xB4\xFA\xC0\xED\xA3\xBA\xD0\xB4\xD7\xA2\xB2\xE1\xB1\xED\xB2\xBB\xCA\xB9\xD3\xC3\xB4\xFA\xC0\xED"
    "\xB5\xD8\xD6\xB7\xC1\xD0\xB1\xED\xCA\xA7\xB0\xDC";
// 设置IE代理：写注册表代理开关失败
constexpr const char* kSetEnableFailed =
    "\xC9\xE8\xD6\xC3"
    "IE\xB4\xFA\xC0\xED\xA3\xBA\xD0\xB4\xD7\xA2\xB2\xE1\xB1\xED\xB4\xFA\xC0\xED\xBF\xAA\xB9\xD8\xCA\xA7\xB0\xDC";
// 取消IE代理：写注册表代理开关失败
constexpr const char* kCancelEnableFailed =
    "\xC8\xA1\xCF\xFB"
    "IE\xB4\xFA\xC0\xED\xA3\xBA\xD0\xB4\xD7\xA2\xB2\xE1\xB1\xED\xB4\xFA\xC0\xED\xBF\xAA\xB9\xD8\xCA\xA7\xB0\xDC";
// 设置IE代理：写IE信息失败
constexpr const char* kProxyOptionFailed =
    "\xC9\xE8\xD6\xC3"
    "IE\xB4\xFA\xC0\xED\xA3\xBA\xD0\xB4"
    "IE\xD0\xC5\xCF\xA2\xCA\xA7\xB0\xDC";
// 设置IE代理：改变IE信息失败
constexpr const char* kSettingsChangedFailed =
    "\xC9\xE8\xD6\xC3"
    "IE\xB4\xFA\xC0\xED\xA3\xBA\xB8\xC4\xB1\xE4"
    "IE\xD0\xC5\xCF\xA2\xCA\xA7\xB0\xDC";
// 设置IE代理成功
constexpr const char* kSucceeded =
    "\xC9\xE8\xD6\xC3"
    "IE\xB4\xFA\xC0\xED\xB3\xC9\xB9\xA6";

// 请选中要使用的代理
constexpr const char* kSelectProxyMessage = "\xC7\xEB\xD1\xA1\xD6\xD0\xD2\xAA\xCA\xB9\xD3\xC3\xB5\xC4\xB4\xFA\xC0\xED";
// 信息：
constexpr const char* kMessageCaption = "\xD0\xC5\xCF\xA2\xA3\xBA";

bool RunningUnderWine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// Steps shared by setting and cancelling once the registry holds the new values.
Text AnnounceToWinInet(INTERNET_PROXY_INFO& info) {
    // Wine 8.0 can crash in its heap on the second or third INTERNET_OPTION_PROXY call of a
    // process. The option only changes this process's own preconfigured proxy, which the program
    // never uses (its fetches go direct or name their proxy), so under Wine the call is skipped.
    if (!RunningUnderWine() && !InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &info, sizeof info)) {
        return kProxyOptionFailed;
    }
    if (!InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) return kSettingsChangedFailed;
    // Running programs re-read the settings at once; Wine answers FALSE here, so the result is
    // not looked at and changes no status.
    InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
    return kSucceeded;
}

}  // namespace

Text SetIeProxy(const Text& proxyAddress, bool enable, const Text& bypassList) {
    if (enable) {
        // The record points at copies owned by this call; they are released when it returns.
        const Text proxy = proxyAddress;
        const Text bypass = bypassList;
        INTERNET_PROXY_INFO info{};
        info.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
        info.lpszProxy = proxy.c_str();
        info.lpszProxyBypass = bypass.empty() ? nullptr : bypass.c_str();

        if (!WriteRegistryValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyServer", proxyAddress)) return kSetServerFailed;
        if (!WriteRegistryValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyOverride",
                                ConcatText({bypassList, ";<local>"}))) {
            return kSetOverrideFailed;
        }
        if (!WriteRegistryValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyEnable", DWORD{1})) return kSetEnableFailed;
        return AnnounceToWinInet(info);
    }

    INTERNET_PROXY_INFO info{};
    info.dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
    info.lpszProxy = "";
    info.lpszProxyBypass = "";
    if (!RegistryValueExists(HKEY_CURRENT_USER, kSettingsKey, "ProxyServer")) {
        // Best effort: a failure here is not reported, the switch below decides.
        WriteRegistryValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyServer", Text{});
    }
    if (!WriteRegistryValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyEnable", DWORD{0})) return kCancelEnableFailed;
    return AnnounceToWinInet(info);
}

void OnSetProxyButtonClick() {
    const int row = ListSelectedRow();
    if (row == -1) {
        MessageBoxW(nullptr, GbkToWide(kSelectProxyMessage).c_str(), GbkToWide(kMessageCaption).c_str(),
                    MB_OK | MB_TASKMODAL);
        return;
    }
    if (CompareText(ListGetCell(row, kColumnType), "HTTP") != 0) return;
    SetIeProxy(ConcatText({ListGetCell(row, kColumnAddress), ":80"}), true);
}

void OnCancelProxyButtonClick() { SetIeProxy(Text{}, false); }
