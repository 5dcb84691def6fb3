// duVozaDelete: saves a file without the part that starts at a time and lasts a length.
#include "actions/UWaveFileActions.h"
#include "wave/WaveStorage.h"

std::int32_t ExecWaveDelete(ActionParams params) {
    return RunFileEditAction<2>(aiDelete, params, [](TWave& wave, const FileActionNumbers<2>& n) {
        return wave.DeleteRange(static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1]));
    });
}
