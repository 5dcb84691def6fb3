// Registers a help file for one test, the way the installer does, and removes
// the registration again.
#pragma once

#include <cstring>
#include <fstream>
#include <string>

#include "dialogs/HelpTopics.h"
#include "platform/Platform.h"

class HelpRegistration {
public:
    // Registers `path`; with `createFile` a file of that name is made too.
    HelpRegistration(const std::string& path, bool createFile) : path_(path) {
        if (createFile)
            std::ofstream(path, std::ios::binary) << "ITSF";
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, help::kRegistryKey, 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, help::kRegistryValue, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1));
            RegCloseKey(key);
        }
    }
    // Only the key, without the value.
    HelpRegistration() {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, help::kRegistryKey, 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    HelpRegistration(const HelpRegistration&) = delete;
    HelpRegistration& operator=(const HelpRegistration&) = delete;
    ~HelpRegistration() {
        if (!path_.empty())
            DeleteFileA(path_.c_str());
        RemoveHelpKeys();
    }

    // Deletes the key and its parents that nothing else uses.
    static void RemoveHelpKeys() {
        std::string key = help::kRegistryKey;
        while (!key.empty() && key != "Software") {
            RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
            key.erase(key.find_last_of('\\') == std::string::npos ? 0 : key.find_last_of('\\'));
        }
    }

private:
    std::string path_;
};

inline bool HelpKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, help::kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}
