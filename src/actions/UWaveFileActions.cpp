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

std::string FileRefusalText(std::int32_t actionId, const std::string& fileName,
                            const std::string& why) {
    const char* what = "edit";
    switch (actionId) {
    case aiSub:
        what = "cut a part of";
        break;
    case aiInfo:
        what = "read";
        break;
    case aiConcat:
        what = "join";
        break;
    case aiInvert:
        what = "reverse";
        break;
    case aiDelete:
        what = "delete a part of";
        break;
    case aiTrimStart:
        what = "trim the start of";
        break;
    case aiTrimEnd:
        what = "trim the end of";
        break;
    case aiChangeVolume:
        what = "change the volume of";
        break;
    case aiInsertSilence:
        what = "insert silence into";
        break;
    case aiConvertToPCM:
        what = "convert";
        break;
    default:
        break;
    }
    return std::string("Cannot ") + what + " \"" + fileName +
           "\": " + (why.empty() ? std::string("the file cannot be used") : why);
}

void ThrowOutOfMemoryFor(const std::string& fileName, const std::bad_alloc& error) {
    std::string text = "Not enough memory for \"" + fileName + "\"";
    if (const auto* known = dynamic_cast<const EOutOfMemory*>(&error))
        text += ": " + std::to_string(known->Bytes()) + " bytes could not be had";
    throw EStreamError(text);
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
        ForFile(source, [&] {
            wave.LoadFromFile(source);
            if (edit(wave))
                wave.SaveToFile(call.Text(kDestinationParam));
            else
                call.Fail(FileRefusalText(actionId, source, wave.Refusal()));
        });
    }
    return call.Finish();
}
