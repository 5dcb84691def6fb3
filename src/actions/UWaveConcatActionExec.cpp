// duVozaConcat: joins two files, with a silent gap between them, in the
// first file's format. Its three checks all run; LastError tells the last
// one that failed.
#include <optional>

#include "actions/UWaveFileActions.h"
#include "host/Execution.h"
#include "wave/Streams.h"
#include "wave/WaveStorage.h"

namespace {

constexpr std::size_t kFirstFile = 0;
constexpr std::size_t kSecondFile = 1;
constexpr std::size_t kGap = 2;
constexpr std::size_t kDestination = 3;

} // namespace

std::int32_t ExecWaveConcat(ActionParams params) {
    ActionCall call(aiConcat, params);
    std::optional<std::string> failure;
    const std::optional<std::int32_t> gap = ParseActionInteger(call.Text(kGap));
    if (!gap)
        failure = InvalidArgumentsText(aiConcat);
    for (const std::size_t file : {kFirstFile, kSecondFile})
        if (!FileExists(call.Text(file)))
            failure = SoundFileNotFoundText(call.Text(file));
    if (failure)
        call.Fail(*failure);

    if (call.Ok()) {
        TWaveStorage first;
        TWaveStorage second;
        TWaveStorage joined;
        first.Wave()->LoadFromFile(call.Text(kFirstFile));
        second.Wave()->LoadFromFile(call.Text(kSecondFile));
        TWaveStreamAdapter* const waves[] = {first.Wave(), second.Wave()};
        if (joined.Wave()->Concat(waves, static_cast<std::uint32_t>(*gap)))
            joined.Wave()->SaveToFile(call.Text(kDestination));
        else
            call.FailQuietly();
    }
    return call.Finish();
}
