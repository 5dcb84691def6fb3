// The reference host: loads the plug-in as NeoBook does, hands it the host's
// callbacks, keeps the host variables, answers its requests and runs scripts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Script.h"
#include "host/Exports.h"

namespace nbhost {

struct Options {
    std::string pluginPath;
    std::string versionText = "5.8.0";
    bool trace = false;
};

// One row the plug-in registered.
struct Action {
    std::int32_t id = 0;
    std::string name;
    std::string hint;
    std::vector<std::uint8_t> codes; // the type array as passed, last index included
    std::int32_t count = 0;
    // The type code of parameter i (a text where the plug-in passed too few).
    std::uint8_t Code(std::size_t i) const {
        return i < codes.size() ? codes[i] : std::uint8_t{kParamText};
    }
};

class Host {
public:
    explicit Host(Options options);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Loads the library and introduces the host to it. False, with a message
    // printed, when the library or one of its entry points is missing.
    bool Load();
    // Prints the identity and the catalogue the plug-in registered.
    void PrintCatalogue() const;
    // Runs a script file (UTF-8). The result is the process's exit code.
    int RunFile(const std::string& path);
    // Opens the action's dialog with these parameter texts (missing ones
    // empty) and prints its answer and the parameters after it closed.
    int Edit(const std::string& action, const std::vector<std::string>& params);
    // Shows the plug-in's about box.
    int About();

    // The callbacks, reached through the one host of the process.
    void AddAction(std::int32_t id, const char* name, const char* hint, const std::uint8_t* codes,
                   std::int32_t lastIndex, std::int32_t count);
    void SetVariable(const char* name, const char* value);
    void ProcessScriptCommand(const char* line);
    void InterfaceAccess(std::int32_t request, char** slot);

private:
    enum class Flow { Next, Return, Stop };

    Flow RunFrom(std::size_t index, bool inSubroutine);
    Flow Execute(const Statement& st);
    Flow GoSub(const Statement& st, const std::string& label);
    Flow CallAction(const Statement& st, const Action& action);
    bool Compare(const Statement& st, bool& result);
    void PumpMessages();
    void Delay(std::uint32_t milliseconds);

    std::string Expand(const std::string& text) const;
    // Variables are found by their names trimmed and folded, written with or
    // without their brackets: a name the plug-in sets is the one a script
    // reads and ClearVariables clears.
    static std::string VariableKey(const std::string& name);
    std::string GetVar(const std::string& name) const;
    void SetVar(const std::string& name, const std::string& value);
    void Fail(const Statement& st, const std::string& message);
    void Print(const std::string& ansiLine) const;

    Options options_;
    HMODULE library_ = nullptr;
    decltype(&nbExecAction) exec_ = nullptr;
    decltype(&nbEditAction) edit_ = nullptr;
    decltype(&nbAbout) about_ = nullptr;
    std::string title_, author_, description_;
    std::vector<Action> catalogue_;
    std::map<std::string, std::size_t> actionIndex_; // folded name -> catalogue index
    std::map<std::string, std::string> variables_;   // VariableKey -> value
    Script script_;
    std::string scriptPath_;
    int depth_ = 0;       // GoSubs running
    int pluginCalls_ = 0; // script commands of the plug-in running
    bool stop_ = false;   // Exit, an error or WM_QUIT ends the run
    bool failed_ = false; // an error was reported
};

} // namespace nbhost
