// duVozaChangeVolume: saves a file with every sample changed by a percentage of itself (PCM only).
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveChangeVolume(ActionParams params) {
    return RunFileEditAction<1>(
        aiChangeVolume, params,
        [](TWave& wave, const FileActionNumbers<1>& n) { return wave.ChangeVolume(n[0]); });
}
