// A host that records what the plug-in sends it: registered actions,
// variable writes, script commands and interface requests, and answers the
// requests with texts a test chooses. One FakeHost at a time: it binds itself
// to the plug-in's host bindings on construction and unbinds on destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/Exports.h"

struct RegisteredAction {
    int32_t id;
    std::string name;
    std::string hint;
    std::vector<uint8_t> typeCodes; // elements 0..lastIndex
    int32_t lastIndex;
    int32_t count;
};

struct InterfaceRequest {
    int32_t code;
    std::optional<std::string> slotText; // what the slot held on entry (nullopt: null)
};

class FakeHost {
public:
    enum class Bind { All, WithoutInterfaceAccess, WithoutScriptProcessor, Nothing };

    explicit FakeHost(Bind bind = Bind::All);
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // Registers through nbRegisterPlugIn with this host's callbacks.
    void RegisterPlugIn();

    // Answers to interface requests (blocks handed back are GlobalAlloc'd, as
    // a host's must be); nullopt leaves the slot as it came.
    std::optional<std::string> subroutineList;
    std::optional<std::string> versionText = std::string("5.8.0");
    std::optional<std::string> pickAnswer;
    // Runs inside each "GoSub" command, before the host returns.
    std::function<void(const std::string& command)> onGoSub;

    // What the plug-in sent.
    std::vector<RegisteredAction> actions;
    std::vector<std::pair<std::string, std::string>> variableWrites;
    std::vector<std::string> commands;
    std::vector<InterfaceRequest> requests;
    std::vector<std::string> messages; // texts of request 9
    // Variable writes and script commands in the order they came:
    // "set NAME=VALUE", then the command lines as sent.
    std::vector<std::string> log;

    // The last value written to a variable; nullopt if never written.
    std::optional<std::string> Variable(const std::string& name) const;

private:
    std::string pickedText_;
    static FakeHost* current_;
    static void TV_HOSTCALL AddAction(int32_t id, const char* name, const char* hint, int32_t count,
                                      int32_t lastIndex, const uint8_t* typeCodes);
    static void TV_HOSTCALL SetVariable(const char* name, const char* value);
    static void TV_HOSTCALL ScriptProcessor(const char* commandLine);
    static bool TV_HOSTCALL InterfaceAccess(int32_t code, char** slot);
};

// A copy of the text in a GlobalAlloc'd block, as the host hands texts over.
char* HostBlock(const std::string& text);

// Runs an action through nbExecAction with host-owned copies of `params`,
// which must be exactly as many as the action has.
int32_t ExecAction(int32_t id, const std::vector<std::string>& params);

// A parameter array of host-owned texts (GlobalAlloc'd blocks), released on
// destruction; Slots() and LastIndex() are what nbExecAction and nbEditAction
// receive.
class HostParams {
public:
    HostParams(std::initializer_list<const char*> texts);
    explicit HostParams(const std::vector<std::string>& texts);
    ~HostParams();
    HostParams(const HostParams&) = delete;
    HostParams& operator=(const HostParams&) = delete;

    char** Slots() { return slots_.data(); }
    // The index of the last slot, which the host hands with the array.
    int32_t LastIndex() const { return static_cast<int32_t>(slots_.size()) - 1; }
    std::span<char*> Array() { return slots_; }
    std::string Text(std::size_t i) const { return slots_.at(i) ? slots_.at(i) : "<null>"; }

private:
    std::vector<char*> slots_;
};
