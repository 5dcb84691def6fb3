// Load and unload of the library: creates the module-wide services when the
// library is loaded and frees them when it is unloaded.
#include "host/Lifecycle.h"

namespace {

struct LibraryLifetime {
    LibraryLifetime() {
        try {
            CreateServiceModules();
        } catch (...) {
            // Out of memory while loading: undo, so the library stays consistent.
            FreeServiceModules();
        }
    }
    ~LibraryLifetime() { FreeServiceModules(); }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

const LibraryLifetime theLibrary;

} // namespace
