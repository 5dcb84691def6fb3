// duVozaConcat: joins two files of one format, with a silent gap between
// them. Its three checks all run; LastError tells the last one that failed.
// Files of different formats are not joined: LastError names both.
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
        const std::string& firstFile = call.Text(kFirstFile);
        const std::string& secondFile = call.Text(kSecondFile);
        const std::string& destination = call.Text(kDestination);
        ForFile(firstFile, [&] { first.Wave()->LoadFromFile(firstFile); });
        ForFile(secondFile, [&] { second.Wave()->LoadFromFile(secondFile); });
        TWave& a = *first.Wave();
        TWave& b = *second.Wave();
        const std::string both = "Cannot join \"" + firstFile + "\" and \"" + secondFile + "\": ";
        if (!a.IsValidWave()) {
            call.Fail(FileRefusalText(aiConcat, firstFile, a.Refusal()));
        } else if (!b.IsValidWave()) {
            call.Fail(FileRefusalText(aiConcat, secondFile, b.Refusal()));
        } else if (!a.HasSameFormat(b)) {
            call.Fail(both + "their formats differ");
        } else {
            TWaveStreamAdapter* const waves[] = {&a, &b};
            const auto gapMs = static_cast<std::uint32_t>(*gap);
            if (ForFile(destination, [&] { return joined.Wave()->Concat(waves, gapMs); }))
                joined.Wave()->SaveToFile(destination);
            else
                call.Fail(both + joined.Wave()->Refusal());
        }
    }
    return call.Finish();
}
