// The module-wide service objects that live from the loading of the library
// to its unloading. Defined by the actions layer (src/actions/ServiceModules.cpp),
// called by the library's start-up and shut-down (src/host/LibraryMain.cpp).
#pragma once

#include <stdexcept>

// Creates, in this order, the device and format listing service
// (UtilitiesModule), the recorder registry (RecordModules) and the player
// registry (PlayerModules). Does nothing for those that exist already.
void CreateServiceModules();
// Frees, in this order, the player registry, the recorder registry and the
// listing service, and sets their pointers to null. Never throws.
void FreeServiceModules() noexcept;

// Told of each service object right after it is created and right before it
// is freed (name "UtilitiesModule", "RecordModules" or "PlayerModules").
// For tests; null (the default) tells nobody.
using ServiceModuleObserver = void (*)(const char* service, bool created);
void SetServiceModuleObserver(ServiceModuleObserver observer);

// A module-wide service object, which must be running: std::logic_error when
// the library has not been started (or has been shut down).
template <class T>
T& RunningService(T* instance) {
    if (instance == nullptr)
        throw std::logic_error("The plug-in's services are not running");
    return *instance;
}
