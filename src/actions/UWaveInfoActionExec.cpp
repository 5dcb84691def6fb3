// duVozaInfo: the five information lines of a WAVE file into the array
// variable base0..base4. Unlike the other actions it answers 1 also for a
// missing file, and writes "False" (never "True") into the base variable. A
// file that is no valid wave gets the empty lines and its reason in LastError.
#include <vector>

#include "actions/UWaveFileActions.h"
#include "actions/UWaveUtilitiesModule.h"
#include "host/Execution.h"
#include "host/HostServices.h"
#include "wave/Streams.h"

std::int32_t ExecWaveInfo(ActionParams params) {
    const std::string file = params[0] != nullptr ? params[0] : "";
    const std::string baseName = params[1] != nullptr ? params[1] : "";
    if (FileExists(file)) {
        std::vector<std::string> info;
        std::string refusal;
        ForFile(file, [&] { RunningUtilitiesModule().GetWaveInfo(file, info, &refusal); });
        for (std::size_t i = 0; i < info.size(); ++i)
            SetArrayVariable(static_cast<std::int32_t>(i), baseName, info[i]);
        // The lines of a file that is no valid wave are empty and 0; why is
        // told in LastError.
        if (!refusal.empty())
            SetVariable(kLastErrorVariable, FileRefusalText(aiInfo, file, refusal));
    } else {
        SetVariable(kLastErrorVariable, SoundFileNotFoundText(file));
        SetVariable(baseName, kFalseText);
    }
    return 1;
}
