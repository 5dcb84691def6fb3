// duVozaSub: saves the part of a file that starts at a time and lasts a length.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveSub(ActionParams params) {
    return RunFileEditAction<2>(aiSub, params, [](TWave& wave, const FileActionNumbers<2>& n) {
        return wave.KeepRange(static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1]));
    });
}
