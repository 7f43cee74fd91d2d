#include <windows.h>

#include "app/window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    HWND window = CreateMainWindow(instance, showCommand);
    if (!window) return 1;
    return RunMessageLoop(window);
}
