// The main window and start-up.
#pragma once

#ifdef _WIN32
#include <windows.h>

// Control ids of the main window's children (winspy.exe and the tests find them by these).
enum ControlId : int {
    kIdProxyList = 1001,          // 超级列表框1
    kIdCountLabel = 1002,         // 标签1
    kIdExportButton = 1003,       // 按钮1 导出IP地址文本 (no action)
    kIdSetProxyButton = 1004,     // 按钮2 设置HTTP代理
    kIdCancelProxyButton = 1005,  // 按钮3 取消代理
};

// The window's texts, GBK.
// "HTTP代理获取工具获取【Velmora版】by:Tessik"
inline constexpr const char* kMainWindowTitle =
    "HTTP\xB4\xFA\xC0\xED\xBB\xF1\xC8\xA1\xB9\xA4\xBE\xDF\xBB\xF1\xC8\xA1\xA1\xBEVelmora\xB0\xE6\xA1\xBF"
    "by:Tessik";
inline constexpr const char* kCountLabelText = "\xBB\xF1\xC8\xA1\x69\x70\xCA\xFD\x3A";  // 获取ip数:
inline constexpr const char* kExportButtonText =
    "\xB5\xBC\xB3\xF6\x49\x50\xB5\xD8\xD6\xB7\xCE\xC4\xB1\xBE";                             // 导出IP地址文本
inline constexpr const char* kSetProxyButtonText = "\xC9\xE8\xD6\xC3HTTP\xB4\xFA\xC0\xED";  // 设置HTTP代理
inline constexpr const char* kCancelProxyButtonText = "\xC8\xA1\xCF\xFB\xB4\xFA\xC0\xED";   // 取消代理

// Registers the class, creates the main window with its controls (running OnMainWindowCreated
// once they exist), centres and shows it. Returns null when the window cannot be created.
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
// Fetches and dispatches messages while a window of the program exists; Esc anywhere in the
// window closes it. Returns the exit code (0).
int RunMessageLoop(HWND mainWindow);

// Runs on the UI thread once the window and its controls exist: empties the list, starts the
// harvest workers and the trim timer.
void OnMainWindowCreated(HWND mainWindow);
#endif
