// The built Tonvald.nbp driven the way the real host drives it: every entry
// point called and every callback taken in Delphi's register convention by
// the hand-written code of DelphiCalls.S, which knows nothing of the
// library's headers. Arguments and results are 32-bit words.
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
int32_t DelphiCall(void* function, const int32_t* args, int32_t count, int32_t* stackLeft);
void DelphiAddAction();
void DelphiSetVariable();
void DelphiScriptProcessor();
void DelphiInterfaceAccess();
}

namespace {

struct AddedAction {
    int32_t id;
    std::string name;
    std::string hint;
    std::vector<uint8_t> codes; // elements 0..lastIndex
    int32_t count;
};

struct Received {
    std::vector<AddedAction> actions;
    std::vector<std::string> variableWrites; // "name=value"
    std::vector<std::string> commands;
    std::vector<int32_t> requests;
};
Received received;

} // namespace

// Called by the callbacks of DelphiCalls.S with what the library handed them.
extern "C" void RecordAddAction(int32_t id, const char* name, const char* hint,
                                const uint8_t* codes, int32_t lastIndex, int32_t count) {
    AddedAction action{
        id, name != nullptr ? name : "<null>", hint != nullptr ? hint : "<null>", {}, count};
    if (codes != nullptr && lastIndex >= 0 && lastIndex < 16)
        action.codes.assign(codes, codes + lastIndex + 1);
    received.actions.push_back(std::move(action));
}

extern "C" void RecordSetVariable(const char* name, const char* value) {
    received.variableWrites.push_back(std::string(name) + "=" + value);
}

extern "C" void RecordScriptCommand(const char* command) {
    received.commands.emplace_back(command);
}

// Request 5 (the subroutine list) is answered with "Sub".
extern "C" int32_t RecordInterfaceAccess(int32_t code, char** slot) {
    received.requests.push_back(code);
    if (code != 5)
        return 0;
    *slot = static_cast<char*>(GlobalAlloc(GMEM_FIXED, 4));
    std::memcpy(*slot, "Sub", 4);
    return 1;
}

namespace {

int32_t Word(const void* pointer) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer));
}

int32_t Word(void (*function)()) {
    return Word(reinterpret_cast<const void*>(function));
}

// A call of an entry point as the host makes it. stackLeft is what the entry
// point left of the arguments pushed for it (0: it popped exactly those).
struct Call {
    int32_t result = 0;
    int32_t stackLeft = -1;
};

class DelphiHost : public ::testing::Test {
protected:
    void SetUp() override {
        received = {};
        module_ = LoadLibraryA("Tonvald.nbp");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    Call Invoke(const char* entryPoint, std::vector<int32_t> args) {
        Call call;
        auto* function = reinterpret_cast<void*>(GetProcAddress(module_, entryPoint));
        EXPECT_NE(function, nullptr) << entryPoint;
        if (function == nullptr)
            return call;
        const auto count = static_cast<int32_t>(args.size());
        args.resize(std::max<std::size_t>(args.size(), 3), 0);
        call.result = DelphiCall(function, args.data(), count, &call.stackLeft);
        return call;
    }

    void Register() {
        EXPECT_EQ(
            Invoke("nbRegisterPlugIn", {Word(&DelphiAddAction), 0, 0, Word(&DelphiSetVariable)})
                .stackLeft,
            0);
        EXPECT_EQ(Invoke("nbRegisterScriptProcessor", {Word(&DelphiScriptProcessor)}).stackLeft, 0);
        EXPECT_EQ(Invoke("nbRegisterInterfaceAccess", {Word(&DelphiInterfaceAccess)}).stackLeft, 0);
    }

    // nbExecAction with an open array of global-memory texts; the result is
    // a Boolean (AL).
    int32_t Exec(int32_t id, const std::vector<const char*>& texts) {
        std::vector<char*> blocks;
        for (const char* text : texts) {
            blocks.push_back(static_cast<char*>(GlobalAlloc(GMEM_FIXED, std::strlen(text) + 1)));
            std::memcpy(blocks.back(), text, std::strlen(text) + 1);
        }
        const Call call = Invoke(
            "nbExecAction", {id, Word(blocks.data()), static_cast<int32_t>(blocks.size()) - 1});
        EXPECT_EQ(call.stackLeft, 0) << "nbExecAction of action " << id;
        for (char* block : blocks)
            GlobalFree(block);
        return call.result & 0xFF;
    }

    HMODULE module_ = nullptr;
};

TEST_F(DelphiHost, IntroductionFillsTheSlotsHandedInRegistersAndOnTheStack) {
    char* title = nullptr;
    char* author = nullptr;
    char* description = nullptr;
    const Call call = Invoke("nbInitPlugIn", {0, Word(&title), Word(&author), Word(&description)});
    EXPECT_EQ(call.stackLeft, 0);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "duVoza");
    ASSERT_NE(author, nullptr);
    ASSERT_NE(description, nullptr);
    EXPECT_GT(std::strlen(description), 10u);
    for (char* block : {title, author, description})
        GlobalFree(block);
}

TEST_F(DelphiHost, RegistrationCallsTheAddActionCallbackAsTheHostDeclaresIt) {
    Register();
    ASSERT_EQ(received.actions.size(), 53u);
    EXPECT_EQ(received.actions[0].id, 0);
    EXPECT_EQ(received.actions[0].name, "\xD1\xE8\xF1\xF2\xE5\xEC\xE0 "
                                        "\xE2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED"
                                        "\xE8\xFF"); // "Система воспроизведения"
    int32_t next = 1;
    for (const AddedAction& action : received.actions) {
        if (action.id == 0)
            continue;
        EXPECT_EQ(action.id, next++);
        EXPECT_TRUE(action.name.rfind("duVoza", 0) == 0 || action.name.rfind("zxOn", 0) == 0)
            << action.name;
        // The codes arrive as an open array of the parameters' codes (one
        // placeholder where there are none) and the count follows it.
        ASSERT_EQ(action.codes.size(), static_cast<std::size_t>(std::max(action.count, 1)))
            << action.name;
        if (action.count > 0) {
            EXPECT_EQ(action.codes.back(), 6) << action.name; // the result variable
        }
    }
    EXPECT_EQ(next, 47);
    EXPECT_TRUE(received.variableWrites.empty());
}

TEST_F(DelphiHost, ActionsReadTheirTextsFromAnOpenArray) {
    Register();
    EXPECT_EQ(Exec(1, {"Player"}), 1); // duVozaPlayerCreate
    EXPECT_EQ(received.variableWrites, std::vector<std::string>{"Player=1"});
    received.variableWrites.clear();
    EXPECT_EQ(Exec(6, {"abc", "Result"}), 0); // duVozaPlayerStop, a bad number
    EXPECT_EQ(received.variableWrites,
              (std::vector<std::string>{"LastError=Invalid \"duVozaPlayerStop\" action arguments",
                                        "Result=False"}));
    // A host that hands fewer texts: the missing result variable is empty.
    received.variableWrites.clear();
    EXPECT_EQ(Exec(6, {"abc"}), 0);
    EXPECT_EQ(received.variableWrites,
              std::vector<std::string>{"LastError=Invalid \"duVozaPlayerStop\" action arguments"});
    EXPECT_EQ(Exec(47, {"x"}), 0);

    char* slot = nullptr;
    const Call edit = Invoke("nbEditAction", {3, Word(&slot), 0}); // no dialog for destroy-all
    EXPECT_EQ(edit.stackLeft, 0);
    EXPECT_EQ(edit.result & 0xFF, 0);
    EXPECT_EQ(Invoke("nbMessage", {7, 0}).stackLeft, 0);
}

TEST_F(DelphiHost, EventsRunSubroutinesThroughTheScriptProcessor) {
    Register();
    const char* wave = "delphi-host.wav";
    {
        // A quarter of a second of 16-bit mono silence at 8000 Hz.
        std::vector<unsigned char> b = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W',  'A', 'V',
                                        'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,    1,   0,
                                        1,   0,   0x40, 0x1F, 0,   0,   0x80, 0x3E, 0,    0,   2,
                                        0,   16,  0,    'd',  'a', 't', 'a',  0xA0, 0x0F, 0,   0};
        b.resize(b.size() + 4000, 0);
        b[4] = static_cast<unsigned char>((b.size() - 8) & 0xFF);
        b[5] = static_cast<unsigned char>((b.size() - 8) >> 8);
        FILE* f = std::fopen(wave, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    }
    EXPECT_EQ(Exec(1, {"P"}), 1);
    EXPECT_EQ(Exec(17, {"1", "Sub", "Id", "Device", "Duration", "R"}), 1); // zxOnPlayerActivate
    EXPECT_EQ(Exec(5, {"1", wave, "", "R"}), 1);                           // duVozaPlayerStart
    for (int i = 0; i < 250 && received.commands.empty(); ++i) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLPOSTMESSAGE);
    }
    ASSERT_FALSE(received.commands.empty());
    EXPECT_EQ(received.commands.front(), "GoSub \"Sub\"");
    EXPECT_NE(std::find(received.requests.begin(), received.requests.end(), 5),
              received.requests.end());
    EXPECT_EQ(Exec(3, {}), 1); // duVozaPlayerDestroyAll
    std::remove(wave);
}

} // namespace
