// Test helpers around the real HKCU Internet Settings key of the test prefix: read a value back
// with its type and stored size, put the key into a known state, deny access by a DACL, and keep
// the key as it was across a test that deletes or locks it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kSettingsPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct StoredValue {
    DWORD type = 0;
    std::vector<BYTE> data;  // exactly the stored bytes (size = stored size)
};

// The value as RegQueryValueExA returns it, or nullopt when the key or the value is missing.
std::optional<StoredValue> ReadSettingsValue(const char* name);
bool SettingsKeyExists();

// Stored forms the code under test must produce: REG_SZ with its NUL counted, 4-byte REG_DWORD.
StoredValue SzValue(const std::string& text);
StoredValue DwordValue(DWORD v);

// Direct writes and deletes for setting up a state (key created when missing).
void PutSettingsValue(const char* name, const StoredValue& v);
void DeleteSettingsValue(const char* name);
void DeleteSettingsKey();

// Copies the whole key tree aside on construction and puts it back on destruction, so a test may
// delete the key or change its values without disturbing later tests of the run.
class SettingsKeyBackup {
public:
    SettingsKeyBackup();
    ~SettingsKeyBackup();
    SettingsKeyBackup(const SettingsKeyBackup&) = delete;
    SettingsKeyBackup& operator=(const SettingsKeyBackup&) = delete;

private:
    bool saved_ = false;
};

// Replaces the DACL of HKCU\<path> by `sddl` and restores the original one on destruction.
class KeyDaclGuard {
public:
    KeyDaclGuard(const char* path, const char* sddl);
    ~KeyDaclGuard();
    bool applied() const { return applied_; }
    KeyDaclGuard(const KeyDaclGuard&) = delete;
    KeyDaclGuard& operator=(const KeyDaclGuard&) = delete;

private:
    std::string path_;
    std::vector<BYTE> original_;
    bool applied_ = false;
};

// Printable form of a stored value for failure messages.
std::string Describe(const std::optional<StoredValue>& v);
bool operator==(const StoredValue& a, const StoredValue& b);
