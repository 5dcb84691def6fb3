// The recorder registry: the numbered recorder objects that scripts create
// and address, numbered apart from the players. One instance, RecordModules,
// lives from the loading to the unloading of the library; freeing it frees
// every recorder still registered, completing the files they record.
#pragma once

#include "actions/UWaveDeviceModule.h"
#include "actions/UWaveRecordModule.h"

class TWaveRecordModules : public TWaveDeviceModules {
public:
    TWaveRecordModule* FindModule(std::int32_t id) const {
        return static_cast<TWaveRecordModule*>(TWaveDeviceModules::FindModule(id));
    }

protected:
    TWaveDeviceModule* NewModule() override { return new TWaveRecordModule; }
};

// Null before the library's start-up and after its shut-down.
extern TWaveRecordModules* RecordModules;

// The running registry; std::logic_error when the library is not started.
TWaveRecordModules& RunningRecordModules();
