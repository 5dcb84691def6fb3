#include "platform/posix/Handles.h"

#include <cstdint>

namespace posix {

KernelObject* ObjectFromHandle(HANDLE h) {
    const auto value = reinterpret_cast<std::intptr_t>(h);
    // Null, INVALID_HANDLE_VALUE (-1, also the current process) and the
    // current thread's pseudo-handle (-2) name no object of their own.
    if (value == 0 || value == -1 || value == -2)
        return nullptr;
    return static_cast<KernelObject*>(h);
}

} // namespace posix

BOOL CloseHandle(HANDLE h) {
    const auto value = reinterpret_cast<std::intptr_t>(h);
    // Closing a pseudo-handle (the current process, which is also
    // INVALID_HANDLE_VALUE, or the current thread) succeeds and does nothing.
    if (value == -1 || value == -2)
        return TRUE;
    posix::KernelObject* object = posix::ObjectFromHandle(h);
    if (object == nullptr)
        return FALSE;
    object->Release();
    return TRUE;
}
