// The two registry operations behind SetIeProxy. Each opens the key itself and closes it right
// after the one read or write, so no key handle outlives a call.
#pragma once

#include <windows.h>

#include "text/text.h"

// Opens `keyPath` under `root` for writing, else creates it, and sets the value: REG_SZ (UTF-16,
// converted from GBK with code page 936) with its terminating NUL counted in the stored size for
// a Text, a 4-byte REG_DWORD for an integer. True exactly when RegSetValueExW succeeded.
bool WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, const Text& value);
bool WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, DWORD value);

// True when the key opens for reading and a value of that name can be queried; its type and data
// are not looked at. A key that cannot be opened holds no value.
bool RegistryValueExists(HKEY root, const char* keyPath, const char* valueName);
