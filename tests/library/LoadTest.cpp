// The built Tonvald.nbp, loaded the way a host loads it: only through its
// exports, with this program's own callbacks.
#include "platform/Platform.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/Exports.h"

namespace {

struct Calls {
    int actions = 0;
    std::vector<std::string> variableWrites;
    std::vector<std::string> commands;
    int requests = 0;

    std::size_t Total() const {
        return static_cast<std::size_t>(actions) + variableWrites.size() + commands.size() +
               static_cast<std::size_t>(requests);
    }
};
Calls calls;

void TV_HOSTCALL AddAction(int32_t, const char*, const char*, int32_t, int32_t, const uint8_t*) {
    ++calls.actions;
}
void TV_HOSTCALL SetVariable(const char* name, const char* value) {
    calls.variableWrites.push_back(std::string(name) + "=" + value);
}
void TV_HOSTCALL ScriptProcessor(const char* command) {
    calls.commands.emplace_back(command);
}
bool TV_HOSTCALL InterfaceAccess(int32_t, char**) {
    ++calls.requests;
    return true;
}

template <class F>
F Export(HMODULE module, const char* name) {
    const FARPROC proc = GetProcAddress(module, name);
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

struct Plugin {
    HMODULE module = LoadLibraryA("Tonvald.nbp");
    decltype(&nbInitPlugIn) init = Export<decltype(&nbInitPlugIn)>(module, "nbInitPlugIn");
    decltype(&nbRegisterPlugIn) registerPlugIn =
        Export<decltype(&nbRegisterPlugIn)>(module, "nbRegisterPlugIn");
    decltype(&nbRegisterScriptProcessor) registerScript =
        Export<decltype(&nbRegisterScriptProcessor)>(module, "nbRegisterScriptProcessor");
    decltype(&nbRegisterInterfaceAccess) registerInterface =
        Export<decltype(&nbRegisterInterfaceAccess)>(module, "nbRegisterInterfaceAccess");
    decltype(&nbExecAction) exec = Export<decltype(&nbExecAction)>(module, "nbExecAction");
    decltype(&nbEditAction) edit = Export<decltype(&nbEditAction)>(module, "nbEditAction");
    decltype(&nbMessage) message = Export<decltype(&nbMessage)>(module, "nbMessage");
    decltype(&nbAbout) about = Export<decltype(&nbAbout)>(module, "nbAbout");

    bool Complete() const {
        return module != nullptr && init && registerPlugIn && registerScript && registerInterface &&
               exec && edit && message && about;
    }
};

char* HostText(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    auto* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, size));
    std::memcpy(block, text, size);
    return block;
}

TEST(Library, LoadsIntroducesItselfAndUnloadsQuietly) {
    calls = {};
    Plugin plugin;
    ASSERT_TRUE(plugin.Complete());
    EXPECT_EQ(calls.Total(), 0u); // loading sends nothing

    char* title = nullptr;
    char* author = nullptr;
    char* description = nullptr;
    plugin.init(nullptr, &title, &author, &description);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "duVoza");
    EXPECT_NE(author, nullptr);
    EXPECT_NE(description, nullptr);
    for (char* block : {title, author, description})
        GlobalFree(block);

    plugin.registerPlugIn(&AddAction, nullptr, nullptr, &SetVariable);
    plugin.registerScript(&ScriptProcessor);
    plugin.registerInterface(&InterfaceAccess);
    EXPECT_EQ(calls.actions, 53);

    char* none[1] = {nullptr};
    EXPECT_EQ(plugin.exec(0, none, 0), 0);
    EXPECT_EQ(plugin.exec(47, none, 0), 0);
    EXPECT_EQ(plugin.edit(3, none, 0), 0);
    plugin.message(0, 0);

    // Objects made by actions (where those exist) are freed at unload
    // without a word to the host.
    char* params[1] = {HostText("Object")};
    plugin.exec(1, params, 0);  // duVozaPlayerCreate
    plugin.exec(19, params, 0); // duVozaRecordCreate
    GlobalFree(params[0]);
    const Calls beforeUnload = calls;
    EXPECT_TRUE(FreeLibrary(plugin.module));
    EXPECT_EQ(calls.Total(), beforeUnload.Total());
}

TEST(Library, NamesItsFileLikeWindows) {
    Plugin plugin;
    ASSERT_NE(plugin.module, nullptr);
    char path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameA(plugin.module, path, sizeof path);
    ASSERT_GT(length, 11u);
    EXPECT_EQ(length, std::strlen(path));
    EXPECT_STREQ(path + length - 11, "Tonvald.nbp");
    // Cut short: terminated within the buffer, and the answer is its size.
    char cut[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetModuleFileNameA(plugin.module, cut, sizeof cut), sizeof cut);
    EXPECT_EQ(std::string(cut, 4), std::string(path, 4));
    EXPECT_TRUE(FreeLibrary(plugin.module));
}

TEST(Library, LoadsAgainAfterUnloading) {
    for (int round = 0; round < 2; ++round) {
        calls = {};
        Plugin plugin;
        ASSERT_TRUE(plugin.Complete());
        plugin.registerPlugIn(&AddAction, nullptr, nullptr, &SetVariable);
        EXPECT_EQ(calls.actions, 53);
        char path[MAX_PATH * 4] = {};
        ASSERT_GT(GetModuleFileNameA(plugin.module, path, sizeof path), 0u);
        EXPECT_TRUE(FreeLibrary(plugin.module));
        // Really unloaded, so that its shutdown ran as on Windows.
        EXPECT_EQ(GetModuleHandleA(path), nullptr);
    }
}

} // namespace
