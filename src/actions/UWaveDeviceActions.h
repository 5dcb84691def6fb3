// The executors of the player, recorder, event and listing actions (IDs 1 to
// 36) and the frames they share.
//
// Every executor that addresses an object reads its number from the first
// parameter, finds the object in its registry and holds it (a TUse) until it
// returns: an event subroutine that runs inside the action (an error, a pause
// or a resume binding) may destroy the object, which is then freed only when
// the action is done with it.
//
// A device is active from its start until its close notification has been
// handled: right after a stop it still counts as active.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "actions/UWaveDeviceModule.h"
#include "host/Dispatch.h"
#include "host/Execution.h"

// "Неверный формат звукового файла \"<file>\". " (ending with a blank).
std::string InvalidSoundFileText(const std::string& fileName);

// The object registered under `id`, looked up as the executors do: nothing
// once the call has failed, and a failure with the object text when there is
// no such object.
template <class Registry>
auto FindForAction(ActionCall& call, const Registry& registry, std::int32_t id)
    -> decltype(registry.FindModule(id)) {
    if (!call.Ok())
        return nullptr;
    auto* module = registry.FindModule(id);
    if (module == nullptr)
        call.FailNoObject(id);
    return module;
}

// Every action that addresses an object takes its number first.
inline constexpr std::size_t kObjectParam = 0;

// The object whose number is the action's first parameter, looked up as
// FindForAction does.
template <class Registry>
auto FindAddressed(ActionCall& call, const Registry& registry) {
    std::int32_t id = 0;
    call.ReadInteger(kObjectParam, id);
    return FindForAction(call, registry, id);
}

// Create: the new object's number goes into the result variable; answers 1.
std::int32_t RunCreateAction(std::int32_t actionId, ActionParams params,
                             TWaveDeviceModules& registry);
// Destroy: "True" when an object was destroyed; "False" without a LastError
// text when none is registered under the number.
std::int32_t RunDestroyAction(std::int32_t actionId, ActionParams params,
                              TWaveDeviceModules& registry);
// Destroy all: no parameters, nothing written; answers 1.
std::int32_t RunDestroyAllAction(TWaveDeviceModules& registry);

// Stop, pause and resume: `work` runs when the object's device is active;
// otherwise "False" without a LastError text.
using TActiveDeviceWork = void (*)(TWaveDeviceModule& module);
std::int32_t RunWhileActiveAction(std::int32_t actionId, ActionParams params,
                                  TWaveDeviceModules& registry, TActiveDeviceWork work);

// Is active, is paused: "True" and 1 when `query` holds for the device,
// otherwise "False" and 0, without a LastError text either way.
using TDeviceQuery = bool (*)(TWaveAudioIO& device);
std::int32_t RunQueryAction(std::int32_t actionId, ActionParams params,
                            TWaveDeviceModules& registry, TDeviceQuery query);

// The event actions: object number, subroutine, ID variable, the value
// variables, result variable. The texts replace the whole binding exactly as
// given; nothing is checked and nothing runs.
std::int32_t RunBindAction(std::int32_t actionId, ActionParams params, TWaveDeviceModules& registry,
                           TEventBinding TWaveDeviceModule::*binding);

// A listing: entry i goes into the list variable followed by i (Dev0,
// Dev1...), then the count variable receives the number of entries minus one.
void WriteListVariables(const std::string& listVariable, const std::string& countVariable,
                        const std::vector<std::string>& entries);
// The device listings: list variable, count variable. No result variable;
// answers 1.
std::int32_t RunDeviceListAction(std::int32_t actionId, ActionParams params,
                                 const std::vector<std::string>& names);

// The executors, one per module (U<Name>ActionExec.cpp).
std::int32_t ExecPlayerCreate(ActionParams params);
std::int32_t ExecPlayerDestroy(ActionParams params);
std::int32_t ExecPlayerDestroyAll(ActionParams params);
std::int32_t ExecOutputDevices(ActionParams params);
std::int32_t ExecPlayerStart(ActionParams params);
std::int32_t ExecPlayerStop(ActionParams params);
std::int32_t ExecPlayerPause(ActionParams params);
std::int32_t ExecPlayerResume(ActionParams params);
std::int32_t ExecPlayerPosition(ActionParams params);
std::int32_t ExecPlayerIsActive(ActionParams params);
std::int32_t ExecPlayerIsPaused(ActionParams params);
std::int32_t ExecOnPlayerError(ActionParams params);
std::int32_t ExecOnPlayerLevel(ActionParams params);
std::int32_t ExecOnPlayerPause(ActionParams params);
std::int32_t ExecOnPlayerResume(ActionParams params);
std::int32_t ExecOnPlayerPosition(ActionParams params);
std::int32_t ExecOnPlayerActivate(ActionParams params);
std::int32_t ExecOnPlayerDeactivate(ActionParams params);
std::int32_t ExecRecordCreate(ActionParams params);
std::int32_t ExecRecordDestroy(ActionParams params);
std::int32_t ExecRecordDestroyAll(ActionParams params);
std::int32_t ExecInputDevices(ActionParams params);
std::int32_t ExecPCMFormats(ActionParams params);
std::int32_t ExecRecordStart(ActionParams params);
std::int32_t ExecRecordStop(ActionParams params);
std::int32_t ExecRecordPause(ActionParams params);
std::int32_t ExecRecordResume(ActionParams params);
std::int32_t ExecRecordIsActive(ActionParams params);
std::int32_t ExecRecordIsPaused(ActionParams params);
std::int32_t ExecOnRecordError(ActionParams params);
std::int32_t ExecOnRecordLevel(ActionParams params);
std::int32_t ExecOnRecordPause(ActionParams params);
std::int32_t ExecOnRecordResume(ActionParams params);
std::int32_t ExecOnRecordPosition(ActionParams params);
std::int32_t ExecOnRecordActivate(ActionParams params);
std::int32_t ExecOnRecordDeactivate(ActionParams params);
