#include "host/HostServices.h"

#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "platform/Platform.h"
#include "support/FakeHost.h"

namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;

TEST(StoreHostString, ReplacesTheSlotsBlockWithAnExactCopy) {
    char* slot = HostBlock("old text");
    StoreHostString(&slot, "new");
    ASSERT_NE(slot, nullptr);
    EXPECT_STREQ(slot, "new");
    StoreHostString(&slot, "");
    EXPECT_STREQ(slot, "");
    FreeHostString(&slot);
    EXPECT_EQ(slot, nullptr);
    FreeHostString(&slot); // an empty slot stays empty
    EXPECT_EQ(slot, nullptr);
    StoreHostString(nullptr, "ignored");
}

TEST(StoreHostString, KeepsBytesAfterAnEmbeddedZero) {
    char* slot = nullptr;
    StoreHostString(&slot, std::string_view("a\0b", 3));
    EXPECT_EQ(std::string(slot, 4), std::string("a\0b\0", 4));
    FreeHostString(&slot);
}

TEST(SetVariable, SkipsBlankNamesAndPassesOthersUntrimmed) {
    FakeHost host;
    for (const char* blank : {"", " ", "  \t", "\r\n", "\x01 \x1f"})
        SetVariable(blank, "x");
    EXPECT_TRUE(host.variableWrites.empty());

    SetVariable("  Name ", "value");
    SetVariable("Empty", "");
    EXPECT_EQ(host.variableWrites, (Writes{{"  Name ", "value"}, {"Empty", ""}}));
}

TEST(SetVariable, CyrillicNameIsNotBlank) {
    FakeHost host;
    const std::string name = cp1251::FromUtf8("Имя");
    SetVariable(name, "1");
    EXPECT_EQ(host.variableWrites, (Writes{{name, "1"}}));
}

TEST(SetVariable, DoesNothingWithoutTheHostsCallback) {
    FakeHost host(FakeHost::Bind::Nothing);
    SetVariable("Name", "value");
    SetArrayVariable(1, "Dev", "value");
    EXPECT_TRUE(host.variableWrites.empty());
}

TEST(SetArrayVariable, AppendsTheIndexToTheBaseNameAsGiven) {
    FakeHost host;
    SetArrayVariable(0, "Dev", "a");
    SetArrayVariable(2, "Dev", "b");
    SetArrayVariable(12, " Dev", "c");
    SetArrayVariable(1, "   ", "d");
    SetArrayVariable(1, "", "e");
    EXPECT_EQ(host.variableWrites, (Writes{{"Dev0", "a"}, {"Dev2", "b"}, {" Dev12", "c"}}));
}

TEST(ClearVariable, SendsTheNameUnchangedAndSkipsBlankNames) {
    FakeHost host;
    ClearVariable(" Var ");
    ClearVariable("a\"b");
    ClearVariable("");
    ClearVariable("  ");
    EXPECT_EQ(host.commands,
              (std::vector<std::string>{"ClearVariables \" Var \"", "ClearVariables \"a\"b\""}));
}

TEST(ClearVariable, DoesNothingWithoutTheScriptProcessor) {
    FakeHost host(FakeHost::Bind::WithoutScriptProcessor);
    ClearVariable("Var");
    EXPECT_TRUE(host.commands.empty());
}

TEST(SubroutineExists, FindsTheTrimmedNameIgnoringCase) {
    FakeHost host;
    host.subroutineList = cp1251::FromUtf8("mysub\r\nОбработка\r\n");
    struct Case {
        const char* nameUtf8;
        bool exists;
    };
    const Case cases[] = {
        {"MySub", true},     {"  MySub\t", true}, {"mysub", true}, {"MYSUB", true},
        {"ОБРАБОТКА", true}, {"обработка", true}, {"My", false},   {"MySub2", false},
        {"", false},         {"   ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SubroutineExists(cp1251::FromUtf8(c.nameUtf8)), c.exists) << c.nameUtf8;
}

TEST(SubroutineExists, AsksTheHostWithAnEmptySlotAndAnswersNoWithoutIt) {
    {
        FakeHost host;
        host.subroutineList = "Sub";
        EXPECT_TRUE(SubroutineExists("Sub"));
        ASSERT_EQ(host.requests.size(), 1u);
        EXPECT_EQ(host.requests[0].code, 5);
        EXPECT_FALSE(host.requests[0].slotText.has_value());
        EXPECT_FALSE(SubroutineExists("")); // blank: the host is not asked
        EXPECT_EQ(host.requests.size(), 1u);
    }
    {
        FakeHost host;
        host.subroutineList.reset(); // the host leaves the slot empty
        EXPECT_FALSE(SubroutineExists("Sub"));
    }
    {
        FakeHost host(FakeHost::Bind::WithoutInterfaceAccess);
        EXPECT_FALSE(SubroutineExists("Sub"));
    }
}

TEST(RunSubroutine, SendsGoSubWithTheNameExactlyAsGiven) {
    FakeHost host;
    host.subroutineList = "MySub";
    EXPECT_TRUE(RunSubroutine(" MySub "));
    EXPECT_FALSE(RunSubroutine("Missing"));
    EXPECT_FALSE(RunSubroutine(""));
    EXPECT_EQ(host.commands, (std::vector<std::string>{"GoSub \" MySub \""}));
}

TEST(RunSubroutine, ReturnsAfterTheHostRanTheSubroutine) {
    FakeHost host;
    host.subroutineList = "Sub";
    static FakeHost* seen = nullptr;
    seen = &host;
    host.onGoSub = [](const std::string&) { seen->variableWrites.emplace_back("ran", "yes"); };
    SetVariable("before", "1");
    EXPECT_TRUE(RunSubroutine("Sub"));
    SetVariable("after", "1");
    EXPECT_EQ(host.variableWrites, (Writes{{"before", "1"}, {"ran", "yes"}, {"after", "1"}}));
}

TEST(RunSubroutine, AnswersNoWithoutTheScriptProcessor) {
    FakeHost host(FakeHost::Bind::WithoutScriptProcessor);
    host.subroutineList = "Sub";
    EXPECT_FALSE(RunSubroutine("Sub"));
}

TEST(GetHostList, SplitsAtCarriageReturnsAndDropsEmptyPieces) {
    FakeHost host;
    struct Case {
        const char* answer;
        std::vector<std::string> list;
    };
    const Case cases[] = {
        {"A\r\n\r\nB\r", {"A", "B"}},
        {"A", {"A"}},
        {"  one two \r\t three\n", {"one two", "three"}},
        {"\r\r\n", {}},
        {"", {}},
        {"A\nB", {"A\nB"}}, // only carriage returns separate
    };
    for (const Case& c : cases) {
        host.subroutineList = c.answer;
        std::vector<std::string> list{"stale"};
        GetHostList(HostListKind::Subroutines, list);
        EXPECT_EQ(list, c.list) << c.answer;
    }
}

TEST(GetHostList, LeavesTheListUntouchedWithoutTheHostsInterface) {
    FakeHost host(FakeHost::Bind::WithoutInterfaceAccess);
    std::vector<std::string> list{"kept"};
    GetHostList(HostListKind::Subroutines, list);
    EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST(HostVersion, ReadsTheLeadingNumber) {
    FakeHost host;
    struct Case {
        const char* version;
        bool atLeast5;
    };
    const Case cases[] = {
        {"5.0", true},  {"5", true},     {"5.8.0", true}, {"9.99", true},
        {"10.1", true}, {"4.2", false},  {"4.99", false}, {"0", false},
        {"", false},    {"v5.0", false}, {" 5", false},   {"1.5.8", false},
    };
    for (const Case& c : cases) {
        host.versionText = c.version;
        EXPECT_EQ(GetHostVersion(), c.version);
        EXPECT_EQ(HostIsVersion5OrLater(), c.atLeast5) << c.version;
    }
    host.versionText.reset();
    EXPECT_EQ(GetHostVersion(), "");
    EXPECT_FALSE(HostIsVersion5OrLater());
}

TEST(HostVersion, IsEmptyWithoutTheHostsInterface) {
    FakeHost host(FakeHost::Bind::WithoutInterfaceAccess);
    EXPECT_EQ(GetHostVersion(), "");
    EXPECT_FALSE(HostIsVersion5OrLater());
}

TEST(ShowHostMessage, HandsTheHostACopyOfTheText) {
    FakeHost host;
    const std::string text = cp1251::FromUtf8("Ошибка: \"x\"");
    ShowHostMessage(text);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].code, 9);
    EXPECT_EQ(host.messages, std::vector<std::string>{text});
}

TEST(ShowHostMessage, ShowsNothingWithoutTheHostsInterface) {
    FakeHost host(FakeHost::Bind::WithoutInterfaceAccess);
    ShowHostMessage("text");
    EXPECT_TRUE(host.messages.empty());
}

TEST(PickFromHost, VariablePickerNeedsVersion5) {
    FakeHost host;
    host.versionText = "4.2";
    host.pickAnswer = "Picked";
    EXPECT_EQ(PickFromHost(HostPicker::Variable, "Current"), "");
    EXPECT_EQ(host.messages, std::vector<std::string>{kNeedVersion5Text});
    for (const InterfaceRequest& request : host.requests)
        EXPECT_NE(request.code, 14);

    host.versionText = "5.0";
    EXPECT_EQ(PickFromHost(HostPicker::Variable, "Current"), "Picked");
    ASSERT_FALSE(host.requests.empty());
    EXPECT_EQ(host.requests.back().code, 14);
    EXPECT_EQ(host.requests.back().slotText, std::optional<std::string>("Current"));
}

TEST(PickFromHost, ObjectPickersWorkWithAnyVersion) {
    FakeHost host;
    host.versionText = "4.0";
    host.pickAnswer = "Button1";
    EXPECT_EQ(PickFromHost(HostPicker::ObjectA, "old"), "Button1");
    EXPECT_EQ(host.requests.back().code, 1);
    EXPECT_EQ(PickFromHost(HostPicker::ObjectB, "old"), "Button1");
    EXPECT_EQ(host.requests.back().code, 8);
    EXPECT_TRUE(host.messages.empty());
}

TEST(PickFromHost, YieldsTheCurrentTextWhenTheHostLeavesTheSlot) {
    FakeHost host;
    EXPECT_EQ(PickFromHost(HostPicker::ObjectA, "Current"), "Current");
    EXPECT_EQ(host.requests.back().slotText, std::optional<std::string>("Current"));
}

TEST(PickFromHost, YieldsNothingWithoutTheHostsInterface) {
    FakeHost host(FakeHost::Bind::WithoutInterfaceAccess);
    EXPECT_EQ(PickFromHost(HostPicker::ObjectA, "Current"), "");
    EXPECT_EQ(PickFromHost(HostPicker::Variable, "Current"), "");
}

TEST(EscapeQuotes, ReplacesEveryDoubleQuote) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\"b", "a[#34]b"},
        {"\"x\" and \"y\"", "[#34]x[#34] and [#34]y[#34]"},
        {"\"\"", "[#34][#34]"},
        {"[#34]", "[#34]"},
        {"it's", "it's"},
    };
    for (const auto& [text, escaped] : cases)
        EXPECT_EQ(EscapeQuotes(text), escaped) << text;
}

TEST(ShellOpen, ReportsFailureAsNo) {
    EXPECT_FALSE(ShellOpen("tonvald-no-such-document.tvx", "", SW_SHOWNORMAL));
}

TEST(TrimHostText, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(TrimHostText(" \t\r\nA b\x01\x7f"), "A b\x01\x7f");
    EXPECT_EQ(TrimHostText(cp1251::FromUtf8("\xC2\xA0Я ")), cp1251::FromUtf8("\xC2\xA0Я"));
}

} // namespace
