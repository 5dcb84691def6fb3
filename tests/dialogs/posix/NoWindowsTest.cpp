// The native build has no windows: editing answers 0 and touches nothing,
// the about box returns at once.
#include <gtest/gtest.h>

#include "host/Catalogue.h"
#include "host/Exports.h"
#include "support/FakeHost.h"

namespace {

TEST(NativeBuild, EditingAnswersZeroAndTouchesNoSlot) {
    FakeHost host;
    for (int32_t id = 1; id <= kActionCount; ++id) {
        HostParams params{"a", "b", "c", "d", "e", "f"};
        char* const first = params.Slots()[0];
        EXPECT_EQ(nbEditAction(id, params.Slots(), params.LastIndex()), 0) << ActionName(id);
        EXPECT_EQ(params.Slots()[0], first);
        EXPECT_EQ(params.Text(0), "a");
    }
    nbAbout();
    EXPECT_TRUE(host.requests.empty());
    EXPECT_TRUE(host.messages.empty());
}

} // namespace
