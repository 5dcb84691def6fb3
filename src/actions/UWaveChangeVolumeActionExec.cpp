// duVozaChangeVolume: saves a file with every sample changed by a percentage of itself (PCM only).
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveChangeVolume(ActionParams params) {
    return RunFileEditAction(aiChangeVolume, params, 1, [](TWave& wave, const std::int32_t* n) {
        return wave.ChangeVolume(n[0]);
    });
}
