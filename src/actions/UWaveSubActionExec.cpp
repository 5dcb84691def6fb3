// duVozaSub: saves the part of a file that starts at a time and lasts a length.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveSub(ActionParams params) {
    return RunFileEditAction(aiSub, params, 2, [](TWave& wave, const std::int32_t* n) {
        return wave.KeepRange(static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1]));
    });
}
