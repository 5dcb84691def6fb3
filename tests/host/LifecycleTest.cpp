#include "host/Lifecycle.h"

#include <cstring>

#include <gtest/gtest.h>

#include "actions/UWavePlayerModules.h"
#include "actions/UWaveRecordModules.h"
#include "actions/UWaveUtilitiesModule.h"
#include "host/HostBindings.h"
#include "platform/Cp1251.h"
#include "platform/Platform.h"
#include "support/FakeHost.h"

namespace {

std::vector<std::string> events;

void Observe(const char* service, bool created) {
    events.push_back(std::string(created ? "create " : "free ") + service);
}

TEST(ServiceModules, AreCreatedInOrderAndFreedInReverse) {
    FreeServiceModules(); // this test program links no library start-up; be sure
    events.clear();
    SetServiceModuleObserver(&Observe);
    CreateServiceModules();
    EXPECT_NE(UtilitiesModule, nullptr);
    EXPECT_NE(RecordModules, nullptr);
    EXPECT_NE(PlayerModules, nullptr);
    CreateServiceModules(); // existing services are kept
    FreeServiceModules();
    FreeServiceModules(); // nothing left to free
    SetServiceModuleObserver(nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"create UtilitiesModule", "create RecordModules",
                                                "create PlayerModules", "free PlayerModules",
                                                "free RecordModules", "free UtilitiesModule"}));
    EXPECT_EQ(UtilitiesModule, nullptr);
    EXPECT_EQ(RecordModules, nullptr);
    EXPECT_EQ(PlayerModules, nullptr);
}

TEST(NbInitPlugIn, FillsTheIdentitySlotsReplacingWhatTheyHeld) {
    FakeHost host;
    char* title = HostBlock("old title");
    char* author = nullptr;
    char* description = HostBlock("");
    int window = 0;
    nbInitPlugIn(&window, &title, &author, &description);
    ASSERT_NE(title, nullptr);
    ASSERT_NE(author, nullptr);
    ASSERT_NE(description, nullptr);
    EXPECT_STREQ(title, "duVoza");
    EXPECT_GT(std::strlen(author), 0u);
    EXPECT_EQ(std::string(description),
              cp1251::FromUtf8("Воспроизведение и запись звуковых файлов в формате WAV."));
    EXPECT_EQ(static_cast<void*>(HostWindow), static_cast<void*>(&window));
    for (char* block : {title, author, description})
        GlobalFree(block);
    // Nothing is sent to the host.
    EXPECT_TRUE(host.variableWrites.empty());
    EXPECT_TRUE(host.requests.empty());
    HostWindow = nullptr;
}

TEST(NbInitPlugIn, ToleratesMissingSlots) {
    char* title = nullptr;
    nbInitPlugIn(nullptr, &title, nullptr, nullptr);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "duVoza");
    GlobalFree(title);
}

TEST(EntryPoints, StoreTheHostsCallbacks) {
    FakeHost host(FakeHost::Bind::Nothing);
    nbRegisterScriptProcessor(nullptr);
    nbRegisterInterfaceAccess(nullptr);
    EXPECT_EQ(HostScriptProcessor, nullptr);
    EXPECT_EQ(HostInterfaceAccess, nullptr);
    auto script = [](const char*) TV_HOSTCALL {};
    auto access = [](int32_t, char**) TV_HOSTCALL { return true; };
    nbRegisterScriptProcessor(script);
    nbRegisterInterfaceAccess(access);
    EXPECT_EQ(HostScriptProcessor, static_cast<ScriptProcessorProc>(script));
    EXPECT_EQ(HostInterfaceAccess, static_cast<InterfaceAccessProc>(access));

    int reserved1 = 0;
    int reserved2 = 0;
    auto set = [](const char*, const char*) TV_HOSTCALL {};
    nbRegisterPlugIn(nullptr, &reserved1, &reserved2, set);
    EXPECT_EQ(HostSetVariable, static_cast<SetVariableProc>(set));
    EXPECT_EQ(HostReservedCallback1, &reserved1);
    EXPECT_EQ(HostReservedCallback2, &reserved2);
    HostReservedCallback1 = HostReservedCallback2 = nullptr;
}

} // namespace
