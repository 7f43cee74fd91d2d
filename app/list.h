// Operations on the proxy list (超级列表框1) and the count label (标签1).
//
// Every operation is one message sent to the control's window, so a call from a worker or probe
// thread is carried out by the UI thread, one at a time, while the caller waits. The program
// takes no lock of its own. Texts are GBK; they cross the control boundary as UTF-16 (code page
// 936), so they show and read back the same on any Windows locale.
#pragma once

#include "text/text.h"

#ifdef _WIN32
#include <windows.h>
// Inserts the columns of kListColumns (app/columns.h) into a report list-view.
void InsertListColumns(HWND list);
// Binds the operations to the window's controls; called once while the main window is created.
// False, and nothing bound, when the list cannot be subclassed (its appends go through the
// subclass): the window then fails to be created.
bool ListBindControls(HWND list, HWND label);
#endif

void ListClear();
int ListRowCount();
// Appends a row with `column0` as its first cell and returns its index (-1 when refused).
// Finding the end and inserting there are one step on the UI thread.
int ListAppendRow(const Text& column0);
// No effect when the row or the column does not exist.
void ListSetCell(int row, int column, const Text& text);
// The cell's whole text, whatever its length; empty when empty or missing.
Text ListGetCell(int row, int column);
// First selected row, or -1.
int ListSelectedRow();
void SetLabelCaption(const Text& text);
// Counts the rows and sets caption(count) as the label's caption, in one message carried out by
// the UI thread: an append from another thread cannot come between the count and the write.
void ListSetCountLabel(Text (*caption)(int rows));
