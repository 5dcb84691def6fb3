#include "actions/UWaveDeviceModule.h"

#include <algorithm>

#include "host/HostServices.h"

// --- TWaveDeviceModule --------------------------------------------------------------

void TWaveDeviceModule::Forget() {
    forgotten_ = true;
    EndWhenUnused();
}

void TWaveDeviceModule::AttachEvents(TWaveAudioIO& device) {
    device.OnError = [this](TWaveAudioIO*) { DeviceError(); };
    device.OnLevel = [this](TWaveAudioIO*, std::int32_t level) { DeviceLevel(level); };
    device.OnPause = [this](TWaveAudioIO*) { FireWithDeviceName(Pause); };
    device.OnResume = [this](TWaveAudioIO*) { FireWithDeviceName(Resume); };
    device.OnActivate = [this](TWaveAudioIO*) {
        TUse use(this);
        Fire(Activate, [this] { return ActivateValues(); });
    };
    device.OnDeactivate = [this](TWaveAudioIO*) { FireWithDeviceName(Deactivate); };
}

std::vector<std::string> TWaveDeviceModule::ActivateValues() {
    return {Device().DeviceName()};
}

void TWaveDeviceModule::DeviceError() {
    TUse use(this);
    Fire(Error, [this] { return std::vector<std::string>{Device().ErrorText()}; });
}

void TWaveDeviceModule::DeviceLevel(std::int32_t level) {
    // One use for both: the level subroutine may destroy the object.
    TUse use(this);
    Fire(Level, [level] { return std::vector<std::string>{std::to_string(level)}; });
    Fire(Position,
         [this] { return std::vector<std::string>{std::to_string(Device().Position())}; });
}

void TWaveDeviceModule::FireWithDeviceName(const TEventBinding& binding) {
    TUse use(this);
    Fire(binding, [this] { return std::vector<std::string>{Device().DeviceName()}; });
}

void TWaveDeviceModule::SelectDevice(const std::vector<std::string>& deviceNames,
                                     const std::string& name) {
    if (TrimHostText(name).empty())
        return;
    const auto found =
        std::find_if(deviceNames.begin(), deviceNames.end(), [&name](const std::string& listed) {
            return SameTextIgnoringCase(listed, name);
        });
    const auto position = found != deviceNames.end() ? found - deviceNames.begin() : 0;
    Device().SetDeviceID(static_cast<std::int32_t>(position) - 1);
}

bool TWaveDeviceModule::Runs(const TEventBinding& binding) {
    // An empty name is no subroutine; the host is not even asked.
    return SubroutineExists(binding.Subroutine);
}

void TWaveDeviceModule::Run(const TEventBinding& binding,
                            const std::vector<std::string>& values) const {
    const std::string idVariable(TrimHostText(binding.IDVariable));
    std::vector<std::string> valueVariables;
    for (std::size_t i = 0; i < values.size() && i < binding.ValueVariables.size(); ++i)
        valueVariables.emplace_back(TrimHostText(binding.ValueVariables[i]));

    // Blank names are skipped by the host services themselves.
    SetVariable(idVariable, std::to_string(ID));
    for (std::size_t i = 0; i < valueVariables.size(); ++i)
        SetVariable(valueVariables[i], values[i]);
    RunSubroutine(binding.Subroutine);
    ClearVariable(idVariable);
    for (const std::string& variable : valueVariables)
        ClearVariable(variable);
}

// --- TWaveDeviceModules -------------------------------------------------------------

TWaveDeviceModules::~TWaveDeviceModules() {
    DestroyAll();
}

std::int32_t TWaveDeviceModules::CreateModule() {
    ++lastID_;
    TOwned module(NewModule());
    module->ID = lastID_;
    items_.push_back(std::move(module));
    return lastID_;
}

TWaveDeviceModule* TWaveDeviceModules::FindModule(std::int32_t id) const {
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [id](const TOwned& module) { return module->ID == id; });
    return found != items_.end() ? found->get() : nullptr;
}

bool TWaveDeviceModules::DestroyModule(std::int32_t id) {
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [id](const TOwned& module) { return module->ID == id; });
    if (found == items_.end())
        return false;
    // Out of the list before it goes, so that whatever its freeing does finds
    // the registry whole.
    TOwned doomed = std::move(*found);
    items_.erase(found);
    doomed.reset();
    return true;
}

void TWaveDeviceModules::DestroyAll() {
    std::vector<TOwned> doomed = std::move(items_);
    items_.clear();
    while (!doomed.empty())
        doomed.pop_back();
}
