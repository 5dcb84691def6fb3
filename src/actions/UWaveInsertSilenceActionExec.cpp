// duVozaInsertSilence: saves a file with a silence of a length inserted at a time (PCM only).
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveInsertSilence(ActionParams params) {
    return RunFileEditAction<2>(aiInsertSilence, params,
                                [](TWave& wave, const FileActionNumbers<2>& n) {
                                    return wave.InsertSilence(static_cast<std::uint32_t>(n[0]),
                                                              static_cast<std::uint32_t>(n[1]));
                                });
}
