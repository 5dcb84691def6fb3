// duVozaInvert: saves a file reversed in time (PCM only).
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveInvert(ActionParams params) {
    return RunFileEditAction(aiInvert, params, 0,
                             [](TWave& wave, const std::int32_t*) { return wave.Invert(); });
}
