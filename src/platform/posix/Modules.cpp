#include "platform/posix/Modules.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/Cp1251.h"

namespace {

bool IsOrdinal(LPCSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

// The program's own path, UTF-8; empty if it cannot be found.
std::string ProgramPath() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Backslashes separate folders in Windows names; POSIX wants slashes.
std::string ToPosixPath(LPCSTR fileName) {
    std::string path = cp1251::ToUtf8(fileName);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

} // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr || fileName[0] == '\0')
        return nullptr;
    const std::string path = ToPosixPath(fileName);
    void* handle = nullptr;
    if (path.find('/') == std::string::npos) {
        const std::string folder = FolderOf(ProgramPath());
        if (!folder.empty())
            handle = dlopen((folder + path).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr)
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return static_cast<HMODULE>(handle);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr)
        return FALSE;
    return dlclose(module) == 0 ? TRUE : FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr || IsOrdinal(procName))
        return nullptr;
    void* symbol = dlsym(module, procName);
    FARPROC proc = nullptr;
    static_assert(sizeof proc == sizeof symbol);
    std::memcpy(&proc, &symbol, sizeof proc);
    return proc;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    void* handle = nullptr;
    if (moduleName == nullptr) {
        handle = dlopen(nullptr, RTLD_NOW);
    } else {
        handle = dlopen(ToPosixPath(moduleName).c_str(), RTLD_NOW | RTLD_NOLOAD);
    }
    // Like Windows, this hands out no reference of its own.
    if (handle != nullptr)
        dlclose(handle);
    return static_cast<HMODULE>(handle);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (fileName == nullptr || size == 0)
        return 0;
    std::string path;
    if (module == nullptr) {
        path = ProgramPath();
    } else {
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
            return 0;
        path = map->l_name != nullptr && map->l_name[0] != '\0' ? map->l_name : ProgramPath();
    }
    if (path.empty())
        return 0;
    const std::string ansi = cp1251::FromUtf8(path);
    // Cut to fit, always terminated, as Windows does from Vista on; a cut name
    // answers the buffer's size, a whole one its length.
    const DWORD copied = static_cast<DWORD>(std::min<std::size_t>(ansi.size(), size - 1));
    std::memcpy(fileName, ansi.data(), copied);
    fileName[copied] = '\0';
    return ansi.size() < size ? copied : size;
}
