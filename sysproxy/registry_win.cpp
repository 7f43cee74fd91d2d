#include "sysproxy/registry_win.h"

#include "text/owned_handle.h"

namespace {

// One open registry key, closed when the operation that opened it ends.
using RegKey = OwnedHandle<HKEY, RegCloseKey>;

// Open for writing; a key that does not exist yet (or refuses KEY_WRITE) goes through
// RegCreateKeyA, which creates it or opens it with whatever access it grants.
bool OpenForWrite(HKEY root, const char* keyPath, RegKey& key) {
    // A failed call may leave anything in the variable: drop it unclosed.
    if (RegOpenKeyExA(root, keyPath, 0, KEY_WRITE, key.out()) == ERROR_SUCCESS) return true;
    key.release();
    if (RegCreateKeyA(root, keyPath, key.out()) == ERROR_SUCCESS) return true;
    key.release();
    return false;
}

bool SetValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const BYTE* data, DWORD size) {
    RegKey key;
    if (!OpenForWrite(root, keyPath, key)) return false;
    return RegSetValueExA(key.get(), valueName, 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

bool WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, const Text& value) {
    // c_str() supplies the terminating NUL that the stored size counts.
    return SetValue(root, keyPath, valueName, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                    static_cast<DWORD>(value.size() + 1));
}

bool WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, DWORD value) {
    return SetValue(root, keyPath, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool RegistryValueExists(HKEY root, const char* keyPath, const char* valueName) {
    RegKey key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        key.release();
        return false;
    }
    return RegQueryValueExA(key.get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}
