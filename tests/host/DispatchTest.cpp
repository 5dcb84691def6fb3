#include "host/Dispatch.h"

#include <memory>
#include <span>
#include <stdexcept>
#include <utility>

#include <gtest/gtest.h>

#include "host/Execution.h"
#include "host/HostBindings.h"
#include "host/HostServices.h"
#include "host/Lifecycle.h"
#include "support/FakeHost.h"

namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;

// What the last executor or editor called received.
struct Received {
    int32_t id = -1;
    const void* data = nullptr;
    std::size_t size = 0;
};
Received received;

template <int32_t Id>
int32_t RecordingExecutor(ActionParams params) {
    received = {Id, params.data(), params.size()};
    return 100 + Id;
}

template <int32_t Id>
int32_t RecordingEditor(std::span<char*> slots) {
    received = {Id, slots.data(), slots.size()};
    return 1;
}

template <std::size_t... I>
ActionExecutorTable MakeExecutors(std::index_sequence<I...>) {
    return {{nullptr, &RecordingExecutor<static_cast<int32_t>(I + 1)>...}};
}

template <std::size_t... I>
ActionEditorTable MakeEditors(std::index_sequence<I...>) {
    return {{nullptr, &RecordingEditor<static_cast<int32_t>(I + 1)>...}};
}

const ActionExecutorTable kRecordingExecutors =
    MakeExecutors(std::make_index_sequence<kActionCount>());
const ActionEditorTable kRecordingEditors = MakeEditors(std::make_index_sequence<kActionCount>());

TEST(ExecuteAction, RoutesEveryIdWithExactlyItsParameters) {
    FakeHost host;
    char* params[kMaxActionParams] = {};
    for (int32_t id = 1; id <= kActionCount; ++id) {
        received = {};
        EXPECT_EQ(ExecuteAction(kRecordingExecutors, id, std::span<char*>(params)), 100 + id);
        EXPECT_EQ(received.id, id);
        EXPECT_EQ(received.data, static_cast<const void*>(params));
        EXPECT_EQ(received.size, static_cast<std::size_t>(ActionParamCount(id)));
    }
    EXPECT_TRUE(host.variableWrites.empty());
}

TEST(ExecuteAction, UnknownIdsAndEmptySlotsAnswerZeroAndTouchNothing) {
    FakeHost host;
    HostParams params{"1", "Res", "x", "y", "z", "w"};
    for (const int32_t id : {0, -1, 47, 1000, INT32_MIN, INT32_MAX}) {
        received = {};
        EXPECT_EQ(ExecuteAction(kRecordingExecutors, id, params.Array()), 0);
        EXPECT_EQ(nbExecAction(id, params.Slots(), params.LastIndex()), 0);
        EXPECT_EQ(received.id, -1);
    }
    ActionExecutorTable empty = kRecordingExecutors;
    empty[6] = nullptr;
    EXPECT_EQ(ExecuteAction(empty, 6, params.Array()), 0);
    EXPECT_TRUE(host.variableWrites.empty());
    EXPECT_TRUE(host.commands.empty());
}

// Texts copied out of what an executor received.
std::vector<std::string> receivedTexts;
int32_t CopyingExecutor(ActionParams params) {
    receivedTexts.clear();
    for (const char* text : params)
        receivedTexts.emplace_back(text != nullptr ? text : "<null>");
    return 1;
}

TEST(ExecuteAction, TextsTheHostDidNotHandReadAsEmpty) {
    FakeHost host;
    ActionExecutorTable table{};
    table[5] = &CopyingExecutor; // duVozaPlayerStart: four parameters
    // Exactly as many texts as the host handed, on the heap: a read past them
    // is caught by the address sanitizer.
    const auto handed = std::make_unique<char*[]>(2);
    handed[0] = HostBlock("1");
    handed[1] = HostBlock("a.wav");
    EXPECT_EQ(ExecuteAction(table, 5, std::span<char*>(handed.get(), 2)), 1);
    EXPECT_EQ(receivedTexts, (std::vector<std::string>{"1", "a.wav", "<null>", "<null>"}));
    EXPECT_EQ(ExecuteAction(table, 5, {}), 1); // no array at all
    EXPECT_EQ(receivedTexts, std::vector<std::string>(4, "<null>"));
    // More texts than parameters: only the action's own are seen.
    HostParams many{"1", "a.wav", "dev", "Res", "extra", "extra"};
    EXPECT_EQ(ExecuteAction(table, 5, many.Array()), 1);
    EXPECT_EQ(receivedTexts, (std::vector<std::string>{"1", "a.wav", "dev", "Res"}));
    GlobalFree(handed[0]);
    GlobalFree(handed[1]);
}

TEST(EntryPoints, AHostArrayIsItsAddressAndTheIndexOfItsLastText) {
    char* texts[3] = {};
    EXPECT_EQ(HostArray(texts, 2).size(), 3u);
    EXPECT_EQ(HostArray(texts, 0).size(), 1u);
    EXPECT_TRUE(HostArray(texts, -1).empty());
    EXPECT_TRUE(HostArray(texts, INT32_MIN).empty());
    EXPECT_TRUE(HostArray(nullptr, 5).empty());
}

TEST(EntryPoints, AnActionWithTooFewTextsFailsCleanly) {
    // duVozaPlayerStop with its ID only: the missing result variable is empty,
    // so only LastError is written.
    FakeHost host;
    CreateServiceModules();
    HostParams idOnly{"abc"};
    EXPECT_EQ(nbExecAction(6, idOnly.Slots(), idOnly.LastIndex()), 0);
    FreeServiceModules();
    EXPECT_EQ(host.variableWrites,
              (Writes{{"LastError", "Invalid \"duVozaPlayerStop\" action arguments"}}));
}

// Executors that fail the way the engine may: by throwing.
int32_t ThrowsRuntimeError(ActionParams params) {
    SetVariable(params.back(), "True"); // a result written before the failure is replaced
    throw std::runtime_error("Cannot open file \"C:\\a.wav\" for reading");
}
int32_t ThrowsBadAlloc(ActionParams) {
    throw std::bad_alloc();
}
int32_t ThrowsNonStandard(ActionParams) {
    throw 42;
}
int32_t ThrowsEmptyMessage(ActionParams) {
    throw std::runtime_error("");
}

TEST(ExecuteAction, AnEscapingExceptionBecomesLastErrorAndFalse) {
    FakeHost host;
    ActionExecutorTable table{};
    table[5] = &ThrowsRuntimeError; // duVozaPlayerStart: ID, path, device, result
    HostParams params{"1", "a.wav", "dev", "Res"};
    EXPECT_EQ(ExecuteAction(table, 5, params.Array()), 0);
    EXPECT_EQ(host.variableWrites,
              (Writes{{"Res", "True"},
                      {"LastError", "Cannot open file \"C:\\a.wav\" for reading"},
                      {"Res", "False"}}));
}

TEST(ExecuteAction, GuardTextsForEveryKindOfException) {
    struct Case {
        ActionExecutor executor;
        std::string lastError;
    };
    const Case cases[] = {
        {&ThrowsBadAlloc, std::bad_alloc().what()},
        {&ThrowsNonStandard, "Unexpected error in \"duVozaInfo\" action"},
        {&ThrowsEmptyMessage, "Unexpected error in \"duVozaInfo\" action"},
    };
    for (const Case& c : cases) {
        FakeHost host;
        ActionExecutorTable table{};
        table[38] = c.executor; // duVozaInfo: path, result
        HostParams params{"a.wav", "Info"};
        EXPECT_EQ(ExecuteAction(table, 38, params.Array()), 0);
        EXPECT_EQ(host.variableWrites, (Writes{{"LastError", c.lastError}, {"Info", "False"}}));
    }
}

TEST(ExecuteAction, GuardWritesNoFalseWhereThereIsNoResultVariable) {
    FakeHost host;
    ActionExecutorTable table{};
    table[3] = &ThrowsBadAlloc;  // duVozaPlayerDestroyAll: no parameters
    table[22] = &ThrowsBadAlloc; // duVozaInputDevices: two list variables
    HostParams params{"Devices", "Count"};
    EXPECT_EQ(ExecuteAction(table, 3, {}), 0);
    EXPECT_EQ(ExecuteAction(table, 22, params.Array()), 0);
    EXPECT_EQ(host.variableWrites, (Writes{{"LastError", std::bad_alloc().what()},
                                           {"LastError", std::bad_alloc().what()}}));
}

TEST(ExecuteAction, GuardHoldsWithoutTheHostsCallbacks) {
    FakeHost host(FakeHost::Bind::Nothing);
    ActionExecutorTable table{};
    table[38] = &ThrowsNonStandard;
    HostParams params{"a.wav", "Info"};
    EXPECT_EQ(ExecuteAction(table, 38, params.Array()), 0);
}

// An executor whose work runs another action before it finishes, as an event
// subroutine may.
int32_t Reenters(ActionParams params) {
    ActionCall call(2, params);
    ActionExecutorTable inner{};
    inner[6] = &RecordingExecutor<6>;
    HostParams innerParams{"1", "Inner"};
    if (ExecuteAction(inner, 6, innerParams.Array()) != 106)
        call.Fail("re-entry failed");
    return call.Finish();
}

TEST(ExecuteAction, CanBeEnteredAgainWhileAnExecutorRuns) {
    FakeHost host;
    ActionExecutorTable table{};
    table[2] = &Reenters;
    HostParams params{"1", "Outer"};
    EXPECT_EQ(ExecuteAction(table, 2, params.Array()), 1);
    EXPECT_EQ(host.variableWrites, (Writes{{"Outer", "True"}}));
}

TEST(EditAction, RoutesEveryActionWithParametersWithItsSlots) {
    FakeHost host;
    char* slots[kMaxActionParams] = {};
    for (int32_t id = 1; id <= kActionCount; ++id) {
        received = {};
        const bool hasParams = ActionParamCount(id) > 0;
        EXPECT_EQ(EditAction(kRecordingEditors, id, slots), hasParams ? 1 : 0) << id;
        if (hasParams) {
            EXPECT_EQ(received.id, id);
            EXPECT_EQ(received.data, static_cast<const void*>(slots));
            EXPECT_EQ(received.size, static_cast<std::size_t>(ActionParamCount(id)));
        } else {
            EXPECT_EQ(received.id, -1) << id; // the two destroy-all actions
        }
    }
    for (const int32_t id : {0, -1, 47}) {
        EXPECT_EQ(EditAction(kRecordingEditors, id, slots), 0);
        EXPECT_EQ(nbEditAction(id, slots, kMaxActionParams - 1), 0);
    }
    EXPECT_EQ(nbEditAction(3, slots, kMaxActionParams - 1), 0);
    EXPECT_EQ(nbEditAction(21, slots, kMaxActionParams - 1), 0);
    EXPECT_TRUE(host.messages.empty());
}

int32_t StoresNewTexts(std::span<char*> slots) {
    for (std::size_t i = 0; i < slots.size(); ++i)
        StoreHostString(&slots[i], "edited" + std::to_string(i));
    return 1;
}

int32_t ThrowsWhileEditing(std::span<char*>) {
    throw std::runtime_error("The dialog could not be created");
}

TEST(EditAction, AnEditorRewritesTheHostsSlots) {
    FakeHost host;
    ActionEditorTable table{};
    table[9] = &StoresNewTexts;
    HostParams params{"1", "250", "Res"};
    EXPECT_EQ(EditAction(table, 9, params.Array()), 1);
    EXPECT_EQ(params.Text(0), "edited0");
    EXPECT_EQ(params.Text(2), "edited2");
}

TEST(EditAction, SlotsTheHostDidNotHandAreEditedAndReleased) {
    // duVozaPlayerPosition has three parameters; the host hands two slots.
    FakeHost host;
    ActionEditorTable table{};
    table[9] = &StoresNewTexts;
    const auto handed = std::make_unique<char*[]>(2);
    handed[0] = HostBlock("1");
    handed[1] = HostBlock("250");
    EXPECT_EQ(EditAction(table, 9, std::span<char*>(handed.get(), 2)), 1);
    EXPECT_STREQ(handed[0], "edited0");
    EXPECT_STREQ(handed[1], "edited1");
    GlobalFree(handed[0]);
    GlobalFree(handed[1]);
    // The third block went back to the heap: the leak sanitizer would say.
}

TEST(EditAction, AnExceptionIsShownAsAHostMessage) {
    FakeHost host;
    ActionEditorTable table{};
    table[9] = &ThrowsWhileEditing;
    HostParams params{"1", "250", "Res"};
    EXPECT_EQ(EditAction(table, 9, params.Array()), 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{"The dialog could not be created"});
    EXPECT_EQ(params.Text(0), "1");
    EXPECT_TRUE(host.variableWrites.empty());
}

int aboutShown = 0;
void CountingAbout() {
    ++aboutShown;
}
void ThrowingAbout() {
    throw 1;
}

TEST(ShowAboutBox, ShowsTheBoxAndReportsFailuresAsMessages) {
    FakeHost host;
    aboutShown = 0;
    ShowAboutBox(&CountingAbout);
    EXPECT_EQ(aboutShown, 1);
    ShowAboutBox(nullptr);
    ShowAboutBox(&ThrowingAbout);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Unexpected error in the about box"});
}

TEST(EntryPoints, NbMessageChangesNothing) {
    FakeHost host;
    const auto setVariable = HostSetVariable;
    nbMessage(0, 0);
    nbMessage(-1, -1);
    nbMessage(12345, static_cast<intptr_t>(0x7FFF));
    EXPECT_EQ(HostSetVariable, setVariable);
    EXPECT_TRUE(host.variableWrites.empty());
    EXPECT_TRUE(host.commands.empty());
    EXPECT_TRUE(host.requests.empty());
}

} // namespace
