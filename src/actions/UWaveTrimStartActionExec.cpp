// duVozaTrimStart: saves a file without its first milliseconds.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveTrimStart(ActionParams params) {
    return RunFileEditAction<1>(aiTrimStart, params,
                                [](TWave& wave, const FileActionNumbers<1>& n) {
                                    return wave.TrimStart(static_cast<std::uint32_t>(n[0]));
                                });
}
