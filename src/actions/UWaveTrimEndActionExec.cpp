// duVozaTrimEnd: saves a file without its last milliseconds.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveTrimEnd(ActionParams params) {
    return RunFileEditAction<1>(aiTrimEnd, params, [](TWave& wave, const FileActionNumbers<1>& n) {
        return wave.TrimEnd(static_cast<std::uint32_t>(n[0]));
    });
}
