// duVozaConvertToPCM: saves a file converted to the PCM format named by its
// description; an unknown description names 16-bit stereo at 48000 Hz.
#include "actions/UWaveFileActions.h"
#include "actions/UWaveUtilitiesModule.h"
#include "host/Execution.h"
#include "wave/Streams.h"
#include "wave/WaveStorage.h"

namespace {

constexpr std::size_t kSource = 0;
constexpr std::size_t kDestination = 1;
constexpr std::size_t kFormatText = 2;

} // namespace

std::int32_t ExecWaveConvertToPCM(ActionParams params) {
    ActionCall call(aiConvertToPCM, params);
    if (!FileExists(call.Text(kSource)))
        call.Fail(SoundFileNotFoundText(call.Text(kSource)));
    if (call.Ok()) {
        TWaveStorage storage;
        TWave& wave = *storage.Wave();
        const std::string& source = call.Text(kSource);
        ForFile(source, [&] {
            wave.LoadFromFile(source);
            if (wave.ConvertToPCM(TWaveUtilitiesModule::PCMFormatFromText(call.Text(kFormatText))))
                wave.SaveToFile(call.Text(kDestination));
            else
                call.Fail(FileRefusalText(aiConvertToPCM, source, wave.Refusal()));
        });
    }
    return call.Finish();
}
