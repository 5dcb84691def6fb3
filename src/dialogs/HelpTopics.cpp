#include "dialogs/HelpTopics.h"

#include <algorithm>

#include "host/HostServices.h"
#include "platform/Platform.h"

namespace {

// HH_DISPLAY_TOPIC of htmlhelp.h: shows the page the address names.
constexpr UINT kDisplayTopic = 0;
using HtmlHelpProc = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

// Closes an open registry key when it goes out of scope.
class OpenKey {
public:
    explicit OpenKey(const char* path) {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }

    // The string value, up to its first zero; nullopt when the value is
    // missing or not a string.
    std::optional<std::string> String(const char* name) const {
        if (key_ == nullptr)
            return std::nullopt;
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return std::nullopt;
        std::string data(size, '\0');
        if (size == 0 ||
            RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()),
                             &size) != ERROR_SUCCESS)
            return std::nullopt;
        data.resize(std::min<std::size_t>(size, data.size()));
        return data.substr(0, data.find('\0'));
    }

private:
    HKEY key_ = nullptr;
};

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The viewer stays loaded for the life of the process: help windows it opens
// outlive the call that opened them.
HtmlHelpProc Viewer() {
    static const HtmlHelpProc viewer = [] {
        HMODULE module = LoadLibraryA("hhctrl.ocx");
        FARPROC proc = module != nullptr ? GetProcAddress(module, "HtmlHelpA") : nullptr;
        return reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void (*)()>(proc));
    }();
    return viewer;
}

} // namespace

std::optional<std::string> HelpTopicAddress(std::string_view topic) {
    const std::optional<std::string> file =
        OpenKey(help::kRegistryKey).String(help::kRegistryValue);
    if (!file || !FileExists(*file))
        return std::nullopt;
    std::string address = *file;
    address += "::\\";
    address += help::kStartPage;
    address += '#';
    address += topic;
    return address;
}

bool ShowHelpTopic(std::string_view topic) {
    const std::optional<std::string> address = HelpTopicAddress(topic);
    if (!address)
        return false;
    const HtmlHelpProc viewer = Viewer();
    return viewer != nullptr &&
           viewer(GetActiveWindow(), address->c_str(), kDisplayTopic, 0) != nullptr;
}

void ShowHelpOrComplain(std::string_view topic) {
    if (!ShowHelpTopic(topic))
        ShowHostMessage(help::kMissingHelpText);
}
