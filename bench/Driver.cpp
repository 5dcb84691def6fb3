// tvbench: the benchmark's driver. Loads Tonvald.nbp through its exports, as
// a host does, and runs one action; or writes a test wave.
//   tvbench make FILE SECONDS          16-bit stereo 44100 Hz, a sweep with noise
//   tvbench exec ACTION PARAM...       one nbExecAction call (variables named
//                                      by the last parameter are printed)
// The action's own time (the nbExecAction call alone) goes to stderr.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/Exports.h"
#include "platform/Platform.h"

namespace {

std::map<std::string, int32_t> actionIds;
std::map<std::string, std::string> variables;

void TV_HOSTCALL OnAddAction(int32_t id, const char* name, const char*, int32_t, int32_t,
                             const uint8_t*) {
    if (id > 0)
        actionIds[name] = id;
}

void TV_HOSTCALL OnSetVariable(const char* name, const char* value) {
    variables[name] = value;
}

void TV_HOSTCALL OnScriptCommand(const char*) {}

bool TV_HOSTCALL OnInterfaceAccess(int32_t, char**) {
    return false;
}

template <class F>
F ProcAs(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string ProgramFolder() {
    char path[4096] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string full(path, n);
    const auto slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

void Put(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>(value >> (8 * i)));
}

int Make(const char* path, double seconds) {
    const uint32_t rate = 44100;
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    const uint32_t dataBytes = frames * 4;
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    Put(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    Put(out, 16, 4);
    Put(out, 1, 2);        // PCM
    Put(out, 2, 2);        // stereo
    Put(out, rate, 4);     // samples per second
    Put(out, rate * 4, 4); // bytes per second
    Put(out, 4, 2);        // block
    Put(out, 16, 2);       // bits
    out.write("data", 4);
    Put(out, dataBytes, 4);
    // A slow sweep with a little noise, so that no tool meets trivial data.
    std::vector<int16_t> block;
    block.reserve(2 * 65536);
    uint32_t noise = 12345;
    double phase = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        const double frequency = 200 + 1800 * (0.5 + 0.5 * std::sin(f / (rate * 7.0)));
        phase += 2 * 3.14159265358979 * frequency / rate;
        noise = noise * 1664525u + 1013904223u;
        const double n = static_cast<int32_t>(noise >> 16) / 65536.0 - 0.5;
        const double v = 0.4 * std::sin(phase) + 0.05 * n;
        block.push_back(static_cast<int16_t>(v * 32767));
        block.push_back(static_cast<int16_t>(v * 0.8 * 32767));
        if (block.size() == block.capacity() || f + 1 == frames) {
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * 2));
            block.clear();
        }
    }
    return out.good() ? 0 : 1;
}

int Exec(int argc, char** argv) {
    HMODULE library = LoadLibraryA((ProgramFolder() + "Tonvald.nbp").c_str());
    if (library == nullptr) {
        std::fprintf(stderr, "tvbench: cannot load Tonvald.nbp\n");
        return 2;
    }
    const auto registerPlugIn = ProcAs<decltype(&nbRegisterPlugIn)>(library, "nbRegisterPlugIn");
    const auto registerScript =
        ProcAs<decltype(&nbRegisterScriptProcessor)>(library, "nbRegisterScriptProcessor");
    const auto registerInterface =
        ProcAs<decltype(&nbRegisterInterfaceAccess)>(library, "nbRegisterInterfaceAccess");
    const auto exec = ProcAs<decltype(&nbExecAction)>(library, "nbExecAction");
    registerPlugIn(OnAddAction, nullptr, nullptr, OnSetVariable);
    registerScript(OnScriptCommand);
    registerInterface(OnInterfaceAccess);
    const auto id = actionIds.find(argv[2]);
    if (id == actionIds.end()) {
        std::fprintf(stderr, "tvbench: no action %s\n", argv[2]);
        return 2;
    }
    std::vector<char*> params;
    for (int i = 3; i < argc; ++i) {
        const std::size_t size = std::strlen(argv[i]) + 1;
        auto* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, size));
        std::memcpy(block, argv[i], size);
        params.push_back(block);
    }
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = exec(id->second, params.data(), static_cast<int32_t>(params.size()) - 1);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "%s: %.4f s in the action\n", argv[2], took.count());
    for (char* block : params)
        GlobalFree(block);
    for (const auto& [name, value] : variables)
        std::printf("%s = %s\n", name.c_str(), value.c_str());
    FreeLibrary(library);
    return result == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "make") == 0)
        return Make(argv[2], std::atof(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "exec") == 0)
        return Exec(argc, argv);
    std::fputs("usage: tvbench make FILE SECONDS | tvbench exec ACTION PARAM...\n", stderr);
    return 2;
}
