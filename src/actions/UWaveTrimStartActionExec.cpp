// duVozaTrimStart: saves a file without its first milliseconds.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveTrimStart(ActionParams params) {
    return RunFileEditAction(aiTrimStart, params, 1, [](TWave& wave, const std::int32_t* n) {
        return wave.TrimStart(static_cast<std::uint32_t>(n[0]));
    });
}
