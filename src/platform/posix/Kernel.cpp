#include "platform/Platform.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <thread>

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
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<DWORD>(static_cast<std::uint64_t>(ms));
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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

struct Registry {
    std::mutex lock;
    // (key path, value name), both folded -> value text
    std::map<std::pair<std::string, std::string>, std::string> values;

    bool KeyExists(const std::string& path) {
        if (path.empty())
            return true;
        for (const auto& [name, text] : values) {
            const std::string& key = name.first;
            if (key == path || (key.size() > path.size() &&
                                key.compare(0, path.size(), path) == 0 && key[path.size()] == '\\'))
                return true;
        }
        return false;
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool IsPredefined(HKEY key) {
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x800000FFu;
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (result == nullptr || key == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string path;
    if (key == HKEY_CURRENT_USER) {
        path = FoldKeyPath(subKey);
    } else if (IsPredefined(key)) {
        return ERROR_FILE_NOT_FOUND; // the other predefined hives are empty
    } else {
        const std::string below = FoldKeyPath(subKey);
        path = key->path;
        if (!below.empty())
            path = path.empty() ? below : path + "\\" + below;
    }
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!registry.KeyExists(path))
        return ERROR_FILE_NOT_FOUND;
    *result = new HKEY__{path};
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataBytes) {
    if (key == nullptr)
        return ERROR_INVALID_HANDLE;
    if (data != nullptr && dataBytes == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string path;
    if (key != HKEY_CURRENT_USER) {
        if (IsPredefined(key))
            return ERROR_FILE_NOT_FOUND;
        path = key->path;
    }
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.values.find({path, FoldValueName(valueName)});
    if (found == registry.values.end())
        return ERROR_FILE_NOT_FOUND;
    const std::string& text = found->second;
    const auto needed = static_cast<DWORD>(text.size() + 1);
    if (type != nullptr)
        *type = REG_SZ;
    if (data == nullptr) {
        if (dataBytes != nullptr)
            *dataBytes = needed;
        return ERROR_SUCCESS;
    }
    if (*dataBytes < needed) {
        *dataBytes = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, text.c_str(), needed);
    *dataBytes = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key == nullptr)
        return ERROR_INVALID_HANDLE;
    if (IsPredefined(key))
        return ERROR_SUCCESS; // predefined keys are never freed
    delete key;
    return ERROR_SUCCESS;
}

namespace posix {

void SetRegistryValueForTesting(const char* subKey, const char* valueName, const char* value) {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const std::pair<std::string, std::string> name{FoldKeyPath(subKey), FoldValueName(valueName)};
    if (value == nullptr)
        registry.values.erase(name);
    else
        registry.values[name] = value;
}

void ClearRegistryForTesting() {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.values.clear();
}

} // namespace posix

// --- shell and windows --------------------------------------------------------

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(SE_ERR_NOASSOC));
}

HWND GetActiveWindow() {
    return nullptr;
}
