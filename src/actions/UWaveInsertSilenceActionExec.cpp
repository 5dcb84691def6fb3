// duVozaInsertSilence: saves a file with a silence of a length inserted at a time (PCM only).
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveInsertSilence(ActionParams params) {
    return RunFileEditAction(aiInsertSilence, params, 2, [](TWave& wave, const std::int32_t* n) {
        return wave.InsertSilence(static_cast<std::uint32_t>(n[0]),
                                  static_cast<std::uint32_t>(n[1]));
    });
}
