// libFuzzer target: arbitrary bytes as a RIFF WAVE file, then edits chosen by
// the input's last bytes (see WaveFuzzBody.h). A broken rule aborts the run
// with its description, so libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "WaveFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = RunWaveFuzzBody(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "wave_fuzzer: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
