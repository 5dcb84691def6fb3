// duVozaPlayerStart: player, WAVE file, output device, result. Loads the
// whole file into the player and opens the device; playback, and the
// activate, level and position bindings, follow from the device's
// notifications. The file is checked before the player is looked up. A device
// that refuses to open runs the error binding at once and leaves the answer
// "True".
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveFileActions.h"
#include "actions/UWavePlayerModules.h"
#include "wave/Streams.h"

namespace {

constexpr std::size_t kPlayerParam = 0;
constexpr std::size_t kFileParam = 1;
constexpr std::size_t kDeviceParam = 2;

} // namespace

std::int32_t ExecPlayerStart(ActionParams params) {
    ActionCall call(aiPlayerStart, params);
    const std::string& file = call.Text(kFileParam);
    std::int32_t id = 0;
    if (call.ReadInteger(kPlayerParam, id) && !FileExists(file))
        call.Fail(SoundFileNotFoundText(file));
    TWavePlayerModule* module = FindForAction(call, RunningPlayerModules(), id);
    const TWaveDeviceModule::TUse use(module);
    if (call.Ok() && module->Player().Active())
        call.FailQuietly(); // playing, paused, or its stop not yet complete
    if (call.Ok()) {
        TAudioPlayer& player = module->Player();
        module->SelectOutputDevice(call.Text(kDeviceParam));
        if (module->Forgotten())
            return call.Finish(); // destroyed by the error binding of the selection
        TWave& wave = *player.Wave();
        wave.LoadFromFile(file);
        if (wave.IsEmpty() || !wave.IsValidWave()) {
            call.Fail(InvalidSoundFileText(file));
        } else {
            player.SetActive(true);
            player.SetPaused(false);
        }
    }
    return call.Finish();
}
