// The Help button's lookup against the built help file, under Wine, the way
// the installer leaves it: "HelpFile" under HKCU names the help file. Every
// topic the plug-in opens (each action's name, "about", "thirdparty") then
// opens a help window and no "Missing help file" message; once the
// registration is gone the message comes.
//
// Runs in the build folder, where Tonvald.chm lies; it registers a copy,
// which the registration deletes again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/HelpTestSupport.h"
#include "dialogs/HelpTopics.h"
#include "host/Catalogue.h"
#include "platform/Platform.h"
#include "support/FakeHost.h"

namespace {

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
    topics.emplace_back(help::kAboutTopic);
    topics.emplace_back(help::kThirdpartyTopic);
    return topics;
}

TEST(HelpLookup, OpensEveryTopicOfTheRegisteredHelpFile) {
    const std::string help = FullPath("help-lookup-test.chm");
    ASSERT_TRUE(CopyFileA("Tonvald.chm", help.c_str(), FALSE)) << "no Tonvald.chm to register";
    FakeHost host;
    {
        const HelpRegistration registration(help, false);
        for (const std::string& topic : Topics()) {
            EXPECT_TRUE(ShowHelpTopic(topic)) << topic;
            ShowHelpOrComplain(topic);
        }
        EXPECT_TRUE(host.messages.empty());
    }
    // The registration is gone, and the copy with it.
    ShowHelpOrComplain("duVozaSub");
    EXPECT_EQ(host.messages, std::vector<std::string>{help::kMissingHelpText});
}

} // namespace
