// The window the Windows tests and benchmarks drive the list operations in: a top-level window
// laid out like the main window's list and label, its report list-view built from the columns
// table (InsertListColumns), bound with ListBindControls. The thread that creates it is its UI
// thread: it must pump (pump_win.h) while other threads call the list operations.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "text/text.h"

struct TestWindow {
    HWND window = nullptr;
    HWND list = nullptr;
    HWND label = nullptr;
};

enum class TestWindowShow {
    kHidden,     // never drawn; a test may still ShowWindow it
    kOnDisplay,  // shown on the run's display: painted, and message boxes have an owner on screen
};

// Creates the window on the calling thread and binds the list operations to it. Exits the
// process with code 3 when the window cannot be created (no display).
TestWindow CreateTestWindow(TestWindowShow show);
void DestroyTestWindow(const TestWindow& window);

// One shown test window for the whole process, created on the first call (on the calling thread,
// which stays its UI thread) and never destroyed.
const TestWindow& SharedTestWindow();

// Empties the bound list and appends rows of (address, type); column 2 is set to `delay` when it
// is not empty.
void ResetRows(const std::vector<std::pair<Text, Text>>& rows, const Text& delay = "");
// Selects and focuses `row` of `list` alone; -1 clears the selection.
void SelectRow(HWND list, int row);
