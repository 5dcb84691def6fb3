// duVozaInvert: saves a file reversed in time (PCM only).
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveInvert(ActionParams params) {
    return RunFileEditAction<0>(
        aiInvert, params, [](TWave& wave, const FileActionNumbers<0>&) { return wave.Invert(); });
}
