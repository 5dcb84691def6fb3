// The services through which the plug-in talks to its host: texts in blocks
// the host can own, host variables, host script commands, and the host's
// interface requests (lists, version, message box, pickers).
//
// A text slot is the address of a text pointer that the receiver may replace.
// Blocks put into a slot are fixed global-memory blocks of length + 1 bytes;
// whoever takes a block out of a slot releases it with GlobalFree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/Exports.h"

enum class HostListKind { Subroutines = 1 };

enum class HostPicker : int32_t {
    ObjectA = static_cast<int32_t>(HostRequest::PickObjectA),
    ObjectB = static_cast<int32_t>(HostRequest::PickObjectB),
    Variable = static_cast<int32_t>(HostRequest::PickVariable),
};

// The host's notation for a double quote inside a stored parameter.
inline constexpr std::string_view kHostQuoteEscape = "[#34]";
inline constexpr const char* kNeedVersion5Text =
    "Sorry, this feature need NeoBook version 5 or later";

// Releases the block in the slot, if any, and stores a new block holding `text`.
// Throws std::bad_alloc when no block can be allocated (the slot is then null).
void StoreHostString(char** slot, std::string_view text);
// Releases the block in the slot, if any, and sets the slot to null.
void FreeHostString(char** slot);

// `text` without the blanks and control characters at both ends.
std::string_view TrimHostText(std::string_view text);

// Sets a host variable, unless its trimmed name is empty. The name goes to the
// host as given.
void SetVariable(std::string_view name, std::string_view value);
// Sets the variable named by the base name followed by the index in decimal
// (Dev, 2 -> Dev2), unless the trimmed base name is empty.
void SetArrayVariable(int32_t index, std::string_view baseName, std::string_view value);
// Sends "ClearVariables \"name\"" with the name as given. A blank name names
// no variable and sends nothing.
void ClearVariable(std::string_view name);

// Whether the host lists a subroutine of that (trimmed) name, compared without
// regard to letter case (Latin and Cyrillic).
bool SubroutineExists(std::string_view name);
// Runs the subroutine through "GoSub \"name\"" (name as given) when it exists;
// true once the host has returned from it.
bool RunSubroutine(std::string_view name);

// Fills `list` with the host's list of that kind: the answer split at carriage
// returns, pieces trimmed, empty pieces dropped. Without the host's interface
// the list is left untouched.
void GetHostList(HostListKind kind, std::vector<std::string>& list);
// The host's version text; empty without the host's interface.
std::string GetHostVersion();
// Whether the version text starts with a decimal number of 5 or more.
bool HostIsVersion5OrLater();
// Shows a message box through the host (nothing without the host's interface).
void ShowHostMessage(std::string_view text);
// Lets the author pick through one of the host's pickers; the pick, or the
// current text when the host left it alone; empty without the host's interface
// or (variable picker) with a host older than version 5.
std::string PickFromHost(HostPicker kind, std::string_view current);

// Every double quote replaced by "[#34]".
std::string EscapeQuotes(std::string_view text);
// Asks the shell to "open" a document or link; true when the shell's result
// code is greater than 32.
bool ShellOpen(std::string_view document, std::string_view parameters, int showMode);
