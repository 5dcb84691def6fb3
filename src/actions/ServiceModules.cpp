// Start-up and shut-down of the module-wide service objects. The registries
// use the listing service's device lists, so it is created first and freed last.
#include "actions/UWavePlayerModules.h"
#include "actions/UWaveRecordModules.h"
#include "actions/UWaveUtilitiesModule.h"
#include "host/Lifecycle.h"

namespace {

ServiceModuleObserver theObserver = nullptr;

void Tell(const char* service, bool created) {
    if (theObserver != nullptr)
        theObserver(service, created);
}

template <class T>
void Create(T*& instance, const char* name) {
    if (instance != nullptr)
        return;
    instance = new T();
    Tell(name, true);
}

template <class T>
void Free(T*& instance, const char* name) noexcept {
    if (instance == nullptr)
        return;
    Tell(name, false);
    T* doomed = instance;
    instance = nullptr;
    delete doomed;
}

} // namespace

void SetServiceModuleObserver(ServiceModuleObserver observer) {
    theObserver = observer;
}

void CreateServiceModules() {
    Create(UtilitiesModule, "UtilitiesModule");
    Create(RecordModules, "RecordModules");
    Create(PlayerModules, "PlayerModules");
}

void FreeServiceModules() noexcept {
    Free(PlayerModules, "PlayerModules");
    Free(RecordModules, "RecordModules");
    Free(UtilitiesModule, "UtilitiesModule");
}
