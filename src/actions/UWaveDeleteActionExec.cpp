// duVozaDelete: saves a file without the part that starts at a time and lasts a length.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveDelete(ActionParams params) {
    return RunFileEditAction(aiDelete, params, 2, [](TWave& wave, const std::int32_t* n) {
        return wave.DeleteRange(static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1]));
    });
}
