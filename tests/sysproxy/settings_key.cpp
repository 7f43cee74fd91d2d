#include "tests/sysproxy/settings_key.h"

#include <sddl.h>

#include <cstdio>

#include "text/owned_handle.h"

namespace {

constexpr const char* kBackupPath = "Software\\ProxytoolTestSettingsBackup";

using Key = OwnedHandle<HKEY, RegCloseKey>;

}  // namespace

std::optional<StoredValue> ReadSettingsValue(const char* name) {
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        key.release();
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    StoredValue v;
    v.type = type;
    v.data.resize(size);
    if (RegQueryValueExA(key.get(), name, nullptr, &type, v.data.data(), &size) != ERROR_SUCCESS) return std::nullopt;
    v.data.resize(size);
    return v;
}

bool SettingsKeyExists() {
    Key key;
    const bool ok = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
    if (!ok) key.release();
    return ok;
}

StoredValue SzValue(const std::string& text) {
    StoredValue v{REG_SZ, std::vector<BYTE>(text.begin(), text.end())};
    v.data.push_back(0);
    return v;
}

StoredValue DwordValue(DWORD value) {
    StoredValue v{REG_DWORD, std::vector<BYTE>(4)};
    memcpy(v.data.data(), &value, 4);
    return v;
}

void PutSettingsValue(const char* name, const StoredValue& v) {
    Key key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, nullptr, 0, KEY_WRITE, nullptr, key.out(), nullptr) !=
        ERROR_SUCCESS) {
        key.release();
        return;
    }
    RegSetValueExA(key.get(), name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
}

void DeleteSettingsValue(const char* name) {
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_WRITE, key.out()) != ERROR_SUCCESS) {
        key.release();
        return;
    }
    RegDeleteValueA(key.get(), name);
}

void DeleteSettingsKey() { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsPath); }

SettingsKeyBackup::SettingsKeyBackup() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kBackupPath);
    Key from;
    Key to;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_READ, from.out()) != ERROR_SUCCESS) {
        from.release();
        return;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kBackupPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, to.out(), nullptr) !=
        ERROR_SUCCESS) {
        to.release();
        return;
    }
    saved_ = RegCopyTreeA(from.get(), nullptr, to.get()) == ERROR_SUCCESS;
}

SettingsKeyBackup::~SettingsKeyBackup() {
    if (!saved_) return;
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsPath);
    {
        Key from;
        Key to;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kBackupPath, 0, KEY_READ, from.out()) == ERROR_SUCCESS &&
            RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, to.out(),
                            nullptr) == ERROR_SUCCESS) {
            RegCopyTreeA(from.get(), nullptr, to.get());
        }
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kBackupPath);
}

KeyDaclGuard::KeyDaclGuard(const char* path, const char* sddl) : path_(path) {
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, READ_CONTROL | WRITE_DAC, key.out()) != ERROR_SUCCESS) {
        key.release();
        return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    original_.resize(size);
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, original_.data(), &size) != ERROR_SUCCESS) return;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) return;
    applied_ = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
}

KeyDaclGuard::~KeyDaclGuard() {
    if (!applied_) return;
    // The owner keeps WRITE_DAC whatever the DACL says.
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, WRITE_DAC, key.out()) != ERROR_SUCCESS) {
        key.release();
        return;
    }
    RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, original_.data());
}

std::string Describe(const std::optional<StoredValue>& v) {
    if (!v) return "(missing)";
    std::string out = "type " + std::to_string(v->type) + ", " + std::to_string(v->data.size()) + " bytes:";
    for (BYTE b : v->data) {
        char hex[4];
        snprintf(hex, sizeof hex, " %02X", b);
        out += hex;
    }
    return out;
}

bool operator==(const StoredValue& a, const StoredValue& b) { return a.type == b.type && a.data == b.data; }
