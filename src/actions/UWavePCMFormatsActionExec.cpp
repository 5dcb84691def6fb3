// duVozaPCMFormats: recorder, input device, list variable, count variable,
// result. Selects the device for the recorder (also for its next start) and
// lists the descriptions of the PCM formats it records, which are the texts
// duVozaRecordStart accepts. While the recorder is active nothing is listed
// and neither variable is written; the answer is "True" either way.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

namespace {

constexpr std::size_t kDeviceParam = 1;
constexpr std::size_t kListParam = 2;
constexpr std::size_t kCountParam = 3;

} // namespace

std::int32_t ExecPCMFormats(ActionParams params) {
    ActionCall call(aiPCMFormats, params);
    TWaveRecordModule* module = FindAddressed(call, RunningRecordModules());
    const TWaveDeviceModule::TUse use(module);
    if (call.Ok() && !module->Recorder().Active()) {
        module->SelectInputDevice(call.Text(kDeviceParam));
        WriteListVariables(call.Text(kListParam), call.Text(kCountParam), module->ListFormats());
    }
    return call.Finish();
}
