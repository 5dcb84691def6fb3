// The player registry: the numbered player objects that scripts create and
// address. One instance, PlayerModules, lives from the loading to the
// unloading of the library; freeing it frees every player still registered.
#pragma once

#include "actions/UWaveDeviceModule.h"
#include "actions/UWavePlayerModule.h"

class TWavePlayerModules : public TWaveDeviceModules {
public:
    TWavePlayerModule* FindModule(std::int32_t id) const {
        return static_cast<TWavePlayerModule*>(TWaveDeviceModules::FindModule(id));
    }

protected:
    TWaveDeviceModule* NewModule() override { return new TWavePlayerModule; }
};

// Null before the library's start-up and after its shut-down.
extern TWavePlayerModules* PlayerModules;

// The running registry; std::logic_error when the library is not started.
TWavePlayerModules& RunningPlayerModules();
