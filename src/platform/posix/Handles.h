// Kernel objects behind POSIX HANDLE values: files, events, threads and the
// like derive from KernelObject. A handle is a counted reference to one.
#pragma once

#include <atomic>

#include "platform/posix/Types.h"

namespace posix {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; the object is deleted with the last one.
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

private:
    std::atomic<int> refs_{1};
};

// The object behind a handle, or null for null, INVALID_HANDLE_VALUE and the
// pseudo-handles of the current thread and process.
KernelObject* ObjectFromHandle(HANDLE h);

template <class T>
T* ObjectAs(HANDLE h) {
    return dynamic_cast<T*>(ObjectFromHandle(h));
}

inline HANDLE HandleFor(KernelObject* object) {
    return static_cast<HANDLE>(object);
}

} // namespace posix

extern "C" {
// Drops one reference to the handle's object. FALSE for an invalid handle.
BOOL CloseHandle(HANDLE h);
} // extern "C"
