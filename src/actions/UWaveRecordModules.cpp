#include "actions/UWaveRecordModules.h"

#include "host/Lifecycle.h"

TWaveRecordModules* RecordModules = nullptr;

TWaveRecordModules& RunningRecordModules() {
    return RunningService(RecordModules);
}
