// duVozaInfo: the five information lines of a WAVE file into the array
// variable base0..base4. Unlike the other actions it answers 1 also for a
// missing file, and writes "False" (never "True") into the base variable.
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
        ForFile(file, [&] { RunningUtilitiesModule().GetWaveInfo(file, info); });
        for (std::size_t i = 0; i < info.size(); ++i)
            SetArrayVariable(static_cast<std::int32_t>(i), baseName, info[i]);
    } else {
        SetVariable(kLastErrorVariable, SoundFileNotFoundText(file));
        SetVariable(baseName, kFalseText);
    }
    return 1;
}
