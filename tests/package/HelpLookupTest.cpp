// The dialogs' help lookup against the built help file, under Wine, the way
// the installer leaves it: "HelpFile" under HKCU names Tonvald.chm. Every
// topic the plug-in opens (each action's name, "about", "thirdparty") then
// opens a help window, so the Help button shows no "Missing help file"
// message; without the value, or with the file gone, it does.
//
// Runs in the build folder, where Tonvald.chm lies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/HelpLookup.h"
#include "host/Catalogue.h"
#include "platform/Platform.h"
#include "support/FakeHost.h"

namespace {

constexpr const char* kHelpKey = "Software\\Halden Morrow\\Kestrava\\duVoza";
constexpr const char* kMissingHelpText =
    "Missing help file: maybe you need a plugin reinstallation?";

// Sets "HelpFile" for the life of the object and removes it again.
class HelpFileValue {
public:
    explicit HelpFileValue(const std::string& path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kHelpKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, "HelpFile", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(path.c_str()),
                                 static_cast<DWORD>(path.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    ~HelpFileValue() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kHelpKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "HelpFile");
            RegCloseKey(key);
        }
    }
    HelpFileValue(const HelpFileValue&) = delete;
    HelpFileValue& operator=(const HelpFileValue&) = delete;
};

std::string FullPath(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(name, MAX_PATH, path, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(path) : std::string();
}

// The topics the plug-in asks for: the dialogs' action names and the about
// box's two topics.
std::vector<std::string> Topics() {
    std::vector<std::string> topics;
    for (const CatalogueRow& row : CatalogueRows())
        if (row.id != 0)
            topics.emplace_back(row.name);
    topics.emplace_back("about");
    topics.emplace_back("thirdparty");
    return topics;
}

} // namespace

TEST(HelpLookup, OpensEveryTopicOfTheRegisteredHelpFile) {
    FakeHost host;
    host.RegisterPlugIn();
    const std::string help = FullPath("Tonvald.chm");
    ASSERT_NE(GetFileAttributesA(help.c_str()), INVALID_FILE_ATTRIBUTES) << help;
    const HelpFileValue value(help);
    for (const std::string& topic : Topics())
        EXPECT_TRUE(ShowHelpTopic(topic)) << topic;
    EXPECT_TRUE(host.messages.empty());
    HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

TEST(HelpLookup, WithoutTheHelpFileTellsTheAuthorToReinstall) {
    FakeHost host;
    host.RegisterPlugIn();
    {
        const HelpFileValue value(FullPath("no-such-help.chm"));
        EXPECT_FALSE(ShowHelpTopic("duVozaSub"));
    }
    EXPECT_FALSE(ShowHelpTopic("about")); // no value at all
    ShowActionHelp("duVozaSub");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], kMissingHelpText);
}
