#include "actions/UWaveFileActions.h"

#include "actions/UWaveUtilitiesModule.h"
#include "host/Execution.h"
#include "platform/Cp1251.h"
#include "wave/Streams.h"
#include "wave/WaveStorage.h"

namespace {

constexpr std::size_t kSourceParam = 0;
constexpr std::size_t kDestinationParam = 1;
constexpr std::size_t kFirstNumberParam = 2;

} // namespace

std::string SoundFileNotFoundText(const std::string& fileName) {
    return "Не найден звуковой файл \""_w1251 + fileName + "\".";
}

std::int32_t RunFileEditFrame(std::int32_t actionId, ActionParams params,
                              std::span<std::int32_t> numbers,
                              const std::function<bool(TWave&)>& edit) {
    ActionCall call(actionId, params);
    const std::string& source = call.Text(kSourceParam);
    if (!FileExists(source))
        call.Fail(SoundFileNotFoundText(source));
    for (std::size_t i = 0; i < numbers.size(); ++i)
        call.ReadInteger(kFirstNumberParam + i, numbers[i]);
    if (call.Ok()) {
        TWave& wave = *RunningUtilitiesModule().SharedStorage().Wave();
        TWaveClearGuard clear(wave);
        wave.LoadFromFile(source);
        if (edit(wave))
            wave.SaveToFile(call.Text(kDestinationParam));
        else
            call.FailQuietly();
    }
    return call.Finish();
}
