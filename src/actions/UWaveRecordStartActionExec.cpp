// duVozaRecordStart: recorder, WAVE file, input device, PCM format, result.
// On an idle recorder: selects the device and the format (a blank device
// keeps the previous one, a format text that is not the description of one
// the device supports keeps the previous format), creates the file with the
// wave headers and opens the device; recording, and the activate, level and
// position bindings, follow from the device's notifications. A recorder that
// is still active answers "True" and records nothing new.
//
// A file that cannot be created is reported in LastError with its name and
// the reason, "False", and the recorder stays idle.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

namespace {

constexpr std::size_t kFileParam = 1;
constexpr std::size_t kDeviceParam = 2;
constexpr std::size_t kFormatParam = 3;

} // namespace

std::int32_t ExecRecordStart(ActionParams params) {
    ActionCall call(aiRecordStart, params);
    TWaveRecordModule* module = FindAddressed(call, RunningRecordModules());
    const TWaveDeviceModule::TUse use(module);
    if (call.Ok() && !module->Recorder().Active()) {
        TModuleRecorder& recorder = module->Recorder();
        module->SelectInputDevice(call.Text(kDeviceParam));
        module->SelectFormat(call.Text(kFormatParam));
        if (module->Forgotten())
            return call.Finish(); // destroyed by the error binding of the selection
        if (recorder.RecordToFile(call.Text(kFileParam)))
            recorder.SetPaused(false); // a recorder left paused resumes here
        else
            call.Fail(recorder.ErrorText()); // the error binding has run already
    }
    return call.Finish();
}
