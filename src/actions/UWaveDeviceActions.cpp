#include "actions/UWaveDeviceActions.h"

#include "host/HostServices.h"
#include "platform/Cp1251.h"

std::string InvalidSoundFileText(const std::string& fileName) {
    return "Неверный формат звукового файла \""_w1251 + fileName + "\". ";
}

std::int32_t RunCreateAction(std::int32_t actionId, ActionParams params,
                             TWaveDeviceModules& registry) {
    ActionCall call(actionId, params);
    return call.FinishWith(std::to_string(registry.CreateModule()), 1);
}

std::int32_t RunDestroyAction(std::int32_t actionId, ActionParams params,
                              TWaveDeviceModules& registry) {
    ActionCall call(actionId, params);
    std::int32_t id = 0;
    if (call.ReadInteger(kObjectParam, id) && !registry.DestroyModule(id))
        call.FailQuietly();
    return call.Finish();
}

std::int32_t RunDestroyAllAction(TWaveDeviceModules& registry) {
    registry.DestroyAll();
    return 1;
}

std::int32_t RunWhileActiveAction(std::int32_t actionId, ActionParams params,
                                  TWaveDeviceModules& registry, TActiveDeviceWork work) {
    ActionCall call(actionId, params);
    TWaveDeviceModule* module = FindAddressed(call, registry);
    const TWaveDeviceModule::TUse use(module);
    if (call.Ok()) {
        if (module->Device().Active())
            work(*module);
        else
            call.FailQuietly();
    }
    return call.Finish();
}

std::int32_t RunQueryAction(std::int32_t actionId, ActionParams params,
                            TWaveDeviceModules& registry, TDeviceQuery query) {
    ActionCall call(actionId, params);
    TWaveDeviceModule* module = FindAddressed(call, registry);
    if (call.Ok() && !query(module->Device()))
        call.FailQuietly();
    return call.Finish();
}

std::int32_t RunBindAction(std::int32_t actionId, ActionParams params, TWaveDeviceModules& registry,
                           TEventBinding TWaveDeviceModule::*binding) {
    // Object, subroutine, ID variable, the value variables, result variable.
    constexpr std::size_t kSubroutineParam = 1;
    constexpr std::size_t kIDVariableParam = 2;
    constexpr std::size_t kFirstValueParam = 3;
    ActionCall call(actionId, params);
    TWaveDeviceModule* module = FindAddressed(call, registry);
    if (call.Ok()) {
        TEventBinding texts;
        texts.Subroutine = call.Text(kSubroutineParam);
        texts.IDVariable = call.Text(kIDVariableParam);
        for (std::size_t i = 0;
             kFirstValueParam + i + 1 < call.ParamCount() && i < texts.ValueVariables.size(); ++i)
            texts.ValueVariables[i] = call.Text(kFirstValueParam + i);
        module->*binding = std::move(texts);
    }
    return call.Finish();
}

void WriteListVariables(const std::string& listVariable, const std::string& countVariable,
                        const std::vector<std::string>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        SetArrayVariable(static_cast<std::int32_t>(i), listVariable, entries[i]);
    SetVariable(countVariable, std::to_string(static_cast<std::int64_t>(entries.size()) - 1));
}

std::int32_t RunDeviceListAction(std::int32_t actionId, ActionParams params,
                                 const std::vector<std::string>& names) {
    const ActionCall call(actionId, params);
    WriteListVariables(call.Text(0), call.Text(1), names);
    return 1;
}
