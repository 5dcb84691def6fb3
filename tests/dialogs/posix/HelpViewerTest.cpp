// The help viewer path, through the stand-in hhctrl.ocx built beside the
// native test programs.
#include <gtest/gtest.h>

#include "../HelpTestSupport.h"
#include "dialogs/HelpTopics.h"
#include "support/FakeHost.h"

namespace {

using LastCallProc = int (*)(const char**, unsigned*);

TEST(ShowHelpTopic, HandsTheTopicAddressToTheViewer) {
    FakeHost host;
    HelpRegistration present("dialogs-viewer.tmp", true);
    EXPECT_TRUE(ShowHelpTopic("zxOnPlayerLevel"));
    ShowHelpOrComplain("about");
    EXPECT_TRUE(host.messages.empty());

    HMODULE viewer = LoadLibraryA("hhctrl.ocx");
    ASSERT_NE(viewer, nullptr);
    const auto lastCall = reinterpret_cast<LastCallProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(viewer, "FakeHtmlHelpLastCall")));
    ASSERT_NE(lastCall, nullptr);
    const char* file = nullptr;
    unsigned command = 1;
    EXPECT_EQ(lastCall(&file, &command), 2);
    EXPECT_STREQ(file, "dialogs-viewer.tmp::\\index.html#about");
    EXPECT_EQ(command, 0u); // HH_DISPLAY_TOPIC
    FreeLibrary(viewer);
}

} // namespace
