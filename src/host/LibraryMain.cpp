// Load and unload of the library: creates the module-wide services when the
// library is loaded and frees them when it is unloaded. While it is loaded,
// errors that escape the device notifications are shown through the host.
#include "host/HostServices.h"
#include "host/Lifecycle.h"
#include "wave/WaveIO.h"

namespace {

void ShowThroughHost(const char* message) {
    ShowHostMessage(message);
}

struct LibraryLifetime {
    LibraryLifetime() {
        SetWaveErrorDisplay(&ShowThroughHost);
        try {
            CreateServiceModules();
        } catch (...) {
            // Out of memory while loading: undo, so the library stays consistent.
            FreeServiceModules();
        }
    }
    ~LibraryLifetime() {
        // Inside the system's library shutdown: devices are ended without
        // waiting for their notifications.
        SetWaveLibraryUnloading(true);
        FreeServiceModules();
        SetWaveErrorDisplay(nullptr);
    }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

const LibraryLifetime theLibrary;

} // namespace
