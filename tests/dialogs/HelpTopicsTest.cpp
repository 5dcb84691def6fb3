#include "dialogs/HelpTopics.h"

#include <gtest/gtest.h>

#include "HelpTestSupport.h"
#include "support/FakeHost.h"

namespace {

constexpr const char* kHelpFile = "dialogs-help.tmp";

TEST(HelpTopicAddress, NeedsTheRegisteredValueAndAnExistingFile) {
    HelpRegistration::RemoveHelpKeys();
    EXPECT_EQ(HelpTopicAddress("about"), std::nullopt);
    EXPECT_FALSE(HelpKeyExists()); // looking never creates the key
    {
        HelpRegistration keyOnly;
        EXPECT_EQ(HelpTopicAddress("about"), std::nullopt);
    }
    {
        HelpRegistration missingFile(kHelpFile, false);
        EXPECT_EQ(HelpTopicAddress("about"), std::nullopt);
    }
    {
        HelpRegistration present(kHelpFile, true);
        EXPECT_EQ(HelpTopicAddress("duVozaPlayerStart"),
                  std::string(kHelpFile) + "::\\index.html#duVozaPlayerStart");
        EXPECT_EQ(HelpTopicAddress(""), std::string(kHelpFile) + "::\\index.html#");
    }
}

TEST(HelpTopicAddress, AFolderIsNoHelpFile) {
    HelpRegistration folder(".", false);
    EXPECT_EQ(HelpTopicAddress("about"), std::nullopt);
}

TEST(ShowHelpOrComplain, TellsTheHostWhenThereIsNoHelp) {
    HelpRegistration::RemoveHelpKeys();
    {
        FakeHost host;
        EXPECT_FALSE(ShowHelpTopic("about"));
        ShowHelpOrComplain("about");
        EXPECT_EQ(host.messages, std::vector<std::string>{help::kMissingHelpText});
    }
    FakeHost withoutInterface(FakeHost::Bind::WithoutInterfaceAccess);
    ShowHelpOrComplain("about");
    EXPECT_TRUE(withoutInterface.messages.empty());
}

} // namespace
