// duVozaRecordStop: stops an active recorder; the device hands back its
// buffers (their bytes are still written), closes, and the deactivate binding
// runs from the close notification, once the file is complete. A device that
// refuses the stop leaves its text in LastError; the answer is "True" all the
// same, the recorder having been active.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"
#include "host/HostServices.h"

std::int32_t ExecRecordStop(ActionParams params) {
    return RunWhileActiveAction(
        aiRecordStop, params, RunningRecordModules(), [](TWaveDeviceModule& module) {
            TModuleRecorder& recorder = static_cast<TWaveRecordModule&>(module).Recorder();
            // A stop under way already is no failure.
            if (recorder.State() != TWaveAudioState::Closing && !recorder.Stop())
                SetVariable(kLastErrorVariable, recorder.ErrorText());
        });
}
