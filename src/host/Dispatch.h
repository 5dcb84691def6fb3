// Routing of the host's execute and edit requests. The executors (actions
// layer) and the edit dialogs (dialogs layer) are reached only through the
// slot tables declared here, so the host layer never depends on them:
// src/actions/ActionTable.cpp defines kActionExecutors,
// src/dialogs/EditorTable.cpp defines kActionEditors and kAboutBox.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "host/Catalogue.h"

// The parameter texts of one execute request: exactly the action's parameter
// count of entries, in catalogue order. An entry may be null (read as empty).
using ActionParams = std::span<char* const>;
// Runs an action; returns what nbExecAction answers (1 or 0 by convention).
using ActionExecutor = int32_t (*)(ActionParams params);
// The parameter slots of one edit request, exactly the action's parameter
// count; returns 1 after OK (every slot rewritten) and 0 after Cancel (none touched).
using ActionEditor = int32_t (*)(std::span<char*> slots);
// Shows the about box modally.
using AboutBoxProc = void (*)();

// Index = action ID; index 0 is unused. A null slot is an action whose
// executor or dialog does not exist: its requests answer 0 and do nothing.
using ActionExecutorTable = std::array<ActionExecutor, kActionCount + 1>;
using ActionEditorTable = std::array<ActionEditor, kActionCount + 1>;

extern const ActionExecutorTable kActionExecutors;
extern const ActionEditorTable kActionEditors;
extern const AboutBoxProc kAboutBox;

// The texts the host handed as an open array: the address of the first and
// the index of the last (-1, or a null address, for none).
std::span<char*> HostArray(char** first, int32_t lastIndex);

// The work behind nbExecAction: routes the request to the action's executor
// and returns its result. The executor sees exactly the action's parameter
// count of texts: the first of those the host handed, and null (read as
// empty) for any it did not; nothing past the host's array is read. IDs
// outside 1..46 and empty slots of the table answer 0 and touch nothing. No
// exception leaves: one escaping the executor is reported in LastError,
// "False" goes to the action's result variable (when it has one) and 0 is
// returned.
int32_t ExecuteAction(const ActionExecutorTable& executors, int32_t id,
                      std::span<char* const> handed);

// The work behind nbEditAction: routes the request to the action's dialog
// with exactly the action's parameter count of slots. Slots the host did not
// hand start empty, and what the dialog stores there is released afterwards
// (the host has no place for it). Actions without parameters, IDs outside
// 1..46 and empty slots of the table answer 0 and show nothing. An exception
// is shown as a host message and 0 is returned.
int32_t EditAction(const ActionEditorTable& editors, int32_t id, std::span<char*> handed);

// The work behind nbAbout; an exception is shown as a host message.
void ShowAboutBox(AboutBoxProc aboutBox);
