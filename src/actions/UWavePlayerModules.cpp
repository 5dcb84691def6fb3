#include "actions/UWavePlayerModules.h"

#include "host/Lifecycle.h"

TWavePlayerModules* PlayerModules = nullptr;

TWavePlayerModules& RunningPlayerModules() {
    return RunningService(PlayerModules);
}
