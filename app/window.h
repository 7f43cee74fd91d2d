// The main window and start-up.
#pragma once

#ifdef _WIN32
#include <windows.h>

// Control ids of the main window's children (winspy.exe and the tests find them by these).
enum ControlId : int {
    kIdProxyList = 1001,   // 超级列表框1
    kIdCountLabel = 1002,  // 标签1
    kIdButton1 = 1003,     // 按钮1 导出IP地址文本 (no action)
    kIdButton2 = 1004,     // 按钮2 设置HTTP代理
    kIdButton3 = 1005,     // 按钮3 取消代理
};

// Registers the class, creates the main window with its controls (running OnMainWindowCreated
// once they exist), centres and shows it. Returns null when the window cannot be created.
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
// Fetches and dispatches messages while a window of the program exists; Esc anywhere in the
// window closes it. Returns the exit code (0).
int RunMessageLoop(HWND mainWindow);

// Runs on the UI thread once the window and its controls exist: empties the list, starts the
// harvest workers and the trim timer.
void OnMainWindowCreated(HWND mainWindow);
// Starts the ten harvest workers, pages 1 to 10 in this order; their handles are not kept.
void StartHarvestWorkers();
// The 3000 ms timer on the main window whose callback trims the working set.
void StartTrimTimer(HWND mainWindow);
void CALLBACK TrimWorkingSet(HWND, UINT, UINT_PTR, DWORD);
#endif
