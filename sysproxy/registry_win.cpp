#include "sysproxy/registry_win.h"

#include <string>

#include "text/owned_handle.h"
#include "text/wide.h"

// Key paths, value names and texts are GBK. They reach the registry through the W functions,
// converted with code page 936 as the UI's texts are: the A functions would read them in the
// system's code page and store other characters on any system whose code page is not 936.

namespace {

// One open registry key, closed when the operation that opened it ends.
using RegKey = OwnedHandle<HKEY, RegCloseKey>;

// Open for writing; a key that does not exist yet (or refuses KEY_WRITE) goes through
// RegCreateKeyW, which creates it or opens it with whatever access it grants.
bool OpenForWrite(HKEY root, const std::wstring& keyPath, RegKey& key) {
    // A failed call may leave anything in the variable: drop it unclosed.
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.out()) == ERROR_SUCCESS) return true;
    key.release();
    if (RegCreateKeyW(root, keyPath.c_str(), key.out()) == ERROR_SUCCESS) return true;
    key.release();
    return false;
}

bool SetValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const BYTE* data, DWORD size) {
    RegKey key;
    if (!OpenForWrite(root, GbkToWide(keyPath), key)) return false;
    return RegSetValueExW(key.get(), GbkToWide(valueName).c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

bool WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, const Text& value) {
    // c_str() supplies the terminating NUL that the stored size counts.
    const std::wstring wide = GbkToWide(value);
    return SetValue(root, keyPath, valueName, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                    static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

bool WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, DWORD value) {
    return SetValue(root, keyPath, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool RegistryValueExists(HKEY root, const char* keyPath, const char* valueName) {
    RegKey key;
    if (RegOpenKeyExW(root, GbkToWide(keyPath).c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        key.release();
        return false;
    }
    return RegQueryValueExW(key.get(), GbkToWide(valueName).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}
