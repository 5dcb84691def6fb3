#include "platform/Platform.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <thread>
#include <unordered_map>

#include "platform/posix/Clock.h"

namespace posix {
thread_local DWORD lastError = ERROR_SUCCESS;
} // namespace posix

// --- last error -----------------------------------------------------------------

DWORD GetLastError() {
    return posix::lastError;
}

void SetLastError(DWORD code) {
    posix::lastError = code;
}

// --- global memory ----------------------------------------------------------

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~GPTR) != 0)
        return nullptr;
    const SIZE_T size = bytes == 0 ? 1 : bytes;
    return (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
}

HGLOBAL GlobalFree(HGLOBAL block) {
    std::free(block);
    return nullptr;
}

// --- page memory ---------------------------------------------------------------
namespace {

std::mutex regionsLock;
std::unordered_map<void*, std::size_t>& Regions() {
    static auto* regions = new std::unordered_map<void*, std::size_t>;
    return *regions;
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address != nullptr || size == 0 || (allocationType & MEM_COMMIT) == 0 ||
        protect != PAGE_READWRITE) {
        posix::lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    void* region =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) {
        posix::lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    if (size >= (std::size_t{2} << 20))
        ::madvise(region, size, MADV_HUGEPAGE);
#endif
    std::lock_guard<std::mutex> hold(regionsLock);
    Regions()[region] = size;
    return region;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (address == nullptr || size != 0 || freeType != MEM_RELEASE) {
        posix::lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::size_t length = 0;
    {
        std::lock_guard<std::mutex> hold(regionsLock);
        const auto found = Regions().find(address);
        if (found == Regions().end()) {
            posix::lastError = ERROR_INVALID_PARAMETER;
            return FALSE;
        }
        length = found->second;
        Regions().erase(found);
    }
    ::munmap(address, length);
    return TRUE;
}

// --- arithmetic and time ------------------------------------------------------

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    // |number * numerator| <= 2^62, so neither the product nor its negation overflows.
    std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    std::int64_t divisor = denominator;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    const std::int64_t half = divisor / 2;
    const std::int64_t result =
        product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    if (result > 2147483647 || result < -2147483647)
        return -1;
    return static_cast<int>(result);
}

DWORD GetTickCount() {
    return static_cast<DWORD>(
        static_cast<std::uint64_t>(posix::ClockNow() / posix::kNanosPerMilli));
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    const posix::Nanos deadline = milliseconds == INFINITE
                                      ? posix::kNever
                                      : posix::ClockNow() + milliseconds * posix::kNanosPerMilli;
    std::unique_lock lock(posix::SyncMutex());
    posix::SyncWaitUntil(lock, deadline, nullptr);
}

// --- critical sections --------------------------------------------------------

namespace {
std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->storage));
}
} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    new (section->storage) std::recursive_mutex();
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section).lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return MutexOf(section).try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section).unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section).~recursive_mutex();
}

// --- registry -----------------------------------------------------------------

struct HKEY__ {
    std::string path; // below HKEY_CURRENT_USER, folded to lower case, no outer backslashes
};

namespace {

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::string FoldKeyPath(const char* subKey) {
    std::string_view path = subKey != nullptr ? subKey : "";
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return FoldCase(path);
}

std::string FoldValueName(const char* name) {
    return FoldCase(name != nullptr ? name : "");
}

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

struct Registry {
    std::mutex lock;
    // key path -> (folded value name -> value); the root "" always exists
    std::map<std::string, std::map<std::string, RegistryValue>> keys{{"", {}}};
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool IsPredefined(HKEY key) {
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x800000FFu;
}

// The folded path of `subKey` below `key`; false for a hive other than the
// current user's and for an invalid key.
bool ResolvePath(HKEY key, const char* subKey, std::string& path) {
    if (key == nullptr)
        return false;
    std::string base;
    if (IsPredefined(key)) {
        if (key != HKEY_CURRENT_USER)
            return false;
    } else {
        base = key->path;
    }
    const std::string below = FoldKeyPath(subKey);
    path = base.empty() ? below : below.empty() ? base : base + "\\" + below;
    return true;
}

HKEY NewKey(const std::string& path) {
    return new HKEY__{path};
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string path;
    if (!ResolvePath(key, subKey, path))
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (registry.keys.count(path) == 0)
        return ERROR_FILE_NOT_FOUND;
    *result = NewKey(path);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY result, LPDWORD disposition) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string path;
    if (!ResolvePath(key, subKey, path))
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED;
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const bool existed = registry.keys.count(path) != 0;
    for (std::size_t end = path.find('\\'); end != std::string::npos;
         end = path.find('\\', end + 1))
        registry.keys.try_emplace(path.substr(0, end));
    registry.keys.try_emplace(path);
    if (disposition != nullptr)
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = NewKey(path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataBytes) {
    if (data != nullptr && dataBytes == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!ResolvePath(key, nullptr, path))
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.keys.find(path);
    if (found == registry.keys.end())
        return ERROR_FILE_NOT_FOUND;
    const auto value = found->second.find(FoldValueName(valueName));
    if (value == found->second.end())
        return ERROR_FILE_NOT_FOUND;
    const std::string& bytes = value->second.bytes;
    const auto needed = static_cast<DWORD>(bytes.size());
    if (type != nullptr)
        *type = value->second.type;
    if (data == nullptr) {
        if (dataBytes != nullptr)
            *dataBytes = needed;
        return ERROR_SUCCESS;
    }
    if (*dataBytes < needed) {
        *dataBytes = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0)
        std::memcpy(data, bytes.data(), needed);
    *dataBytes = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataBytes) {
    if (data == nullptr && dataBytes != 0)
        return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!ResolvePath(key, nullptr, path))
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED;
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.keys.find(path);
    if (found == registry.keys.end())
        return ERROR_INVALID_HANDLE; // the key was deleted while open
    RegistryValue value;
    value.type = type;
    if (dataBytes > 0)
        value.bytes.assign(reinterpret_cast<const char*>(data), dataBytes);
    // As on Windows, a string stored without its terminating zero gets one.
    if (type == REG_SZ && (value.bytes.empty() || value.bytes.back() != '\0'))
        value.bytes.push_back('\0');
    found->second[FoldValueName(valueName)] = std::move(value);
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    std::string path;
    if (!ResolvePath(key, nullptr, path))
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.keys.find(path);
    if (found == registry.keys.end() || found->second.erase(FoldValueName(valueName)) == 0)
        return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    std::string path;
    if (!ResolvePath(key, subKey, path))
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    if (path.empty())
        return ERROR_ACCESS_DENIED;
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.keys.find(path);
    if (found == registry.keys.end())
        return ERROR_FILE_NOT_FOUND;
    const std::string childPrefix = path + "\\";
    const auto child = registry.keys.lower_bound(childPrefix);
    if (child != registry.keys.end() &&
        child->first.compare(0, childPrefix.size(), childPrefix) == 0)
        return ERROR_ACCESS_DENIED;
    registry.keys.erase(found);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key == nullptr)
        return ERROR_INVALID_HANDLE;
    if (!IsPredefined(key))
        delete key;
    return ERROR_SUCCESS;
}

// --- shell and windows --------------------------------------------------------

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(SE_ERR_NOASSOC));
}

HWND GetActiveWindow() {
    return nullptr;
}
