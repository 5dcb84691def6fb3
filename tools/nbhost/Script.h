// The script language of nbhost, a small NeoBook-style language: one command
// per line, its parameters in double quotes, `:Label` lines, comments starting
// with a dot. Texts here are Windows-1251 bytes, as the plug-in sees them.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace nbhost {

struct Statement {
    enum class Kind { Command, Label };
    Kind kind = Kind::Command;
    int line = 0;                    // 1-based line in the script file; 0 for a sent command
    std::string name;                // the command or the label, as written
    std::vector<std::string> params; // the parameters without their quotes
    // For If: the index of its Else (or of its EndIf when it has none); for
    // Else: the index of its EndIf; for While: the index of its EndWhile; for
    // EndWhile: the index of its While. Unused otherwise.
    std::size_t jump = 0;
};

// One line read into a statement. Returns false with `error` set for a line
// that is not well formed; `blank` is set for empty and comment lines.
bool ParseLine(const std::string& text, int line, Statement& out, bool& blank, std::string& error);

struct ScriptError {
    int line = 0;
    std::string message;
};

struct Script {
    std::vector<Statement> statements;
    std::vector<std::string> labels;               // in the order they appear
    std::map<std::string, std::size_t> labelIndex; // NameKey -> statement index
    const Statement* FindLabel(const std::string& name) const;
};

// Reads a whole script (Windows-1251 text, any line ends). Labels, If/Else/
// EndIf nesting are checked here; what needs the plug-in's catalogue is not.
Script ParseScript(const std::string& text, std::vector<ScriptError>& errors);

// Names of variables, labels and commands ignore letter case, Cyrillic too.
std::string Fold(const std::string& name);

// A text without the blanks and control characters around it.
std::string TrimName(const std::string& name);
// The key a label or a variable is found by: its name trimmed and folded.
// The plug-in finds a subroutine in the host's list that way, and then runs
// it, and names variables, as the author typed them, blanks included.
std::string NameKey(const std::string& name);

// Whether a command name is one of the language's own (not a plug-in action).
bool IsBuiltIn(const std::string& foldedName);

} // namespace nbhost
