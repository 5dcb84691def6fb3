// The file actions through nbExecAction, on real files in a folder of their own.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/UWaveFileActions.h"
#include "actions/UWaveUtilitiesModule.h"
#include "host/Catalogue.h"
#include "host/Lifecycle.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"
#include "support/TestData.h"
#include "wave/Streams.h"
#include "wave/WaveBytes.h"

namespace {

using namespace wavetest;
using Samples = std::vector<std::int16_t>;

constexpr const char* kFolder = "actions-files.tmp";
constexpr const char* kNotFound = "Не найден звуковой файл \"%s\"."_w1251;

std::string Path(const std::string& name) {
    return std::string(kFolder) + "/" + name;
}

// How a reason names a file of the folder: "\"<path>\": ".
std::string NamedFile(const std::string& name) {
    std::string text(1, '"');
    text.append(Path(name)).append("\": ");
    return text;
}

std::string NotFound(const std::string& file) {
    std::string text = kNotFound;
    return text.replace(text.find("%s"), 2, file);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    TFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

std::optional<Bytes> ReadFile(const std::string& path) {
    if (!FileExists(path))
        return std::nullopt;
    TMemoryStream stream;
    stream.LoadFromFile(path);
    return Bytes(stream.Memory(), stream.Memory() + stream.Size());
}

// The samples of a 16-bit file, or nullopt when there is no such valid file.
std::optional<Samples> SamplesOf(const std::string& path, TPCMFormat expected = Mono16bit8000Hz) {
    const std::optional<Bytes> bytes = ReadFile(path);
    if (!bytes)
        return std::nullopt;
    TWave wave;
    Load(wave, *bytes);
    const WAVEFORMATEX format = Pcm(expected);
    if (!wave.HasFormat(&format))
        return std::nullopt;
    return Values16(DataOf(wave));
}

// 100 ms of 16-bit mono at 8000 Hz (16 bytes per ms), every sample different.
Samples Source() {
    Samples s(800);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(static_cast<int>(i) * 37 - 14000);
    return s;
}

Samples Slice(const Samples& s, std::size_t from, std::size_t to) {
    return Samples(s.begin() + static_cast<std::ptrdiff_t>(from),
                   s.begin() + static_cast<std::ptrdiff_t>(to));
}

Samples Join(Samples a, const Samples& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class FileActions : public ::testing::Test {
protected:
    void SetUp() override {
        CreateServiceModules();
        std::filesystem::remove_all(kFolder);
        std::filesystem::create_directory(kFolder);
        WriteFile(Path("src.wav"), WaveFile(Pcm(Mono16bit8000Hz), Samples16(Source())));
    }
    void TearDown() override {
        FreeServiceModules();
        std::filesystem::remove_all(kFolder);
    }

    static std::int32_t Exec(std::int32_t id, const std::vector<std::string>& params) {
        return ExecAction(id, params);
    }

    // Names in the folder that a save may have left behind.
    static std::vector<std::filesystem::path> TemporaryFiles() {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(kFolder))
            if (entry.path().extension() == ".tmp")
                found.push_back(entry.path().filename());
        return found;
    }

    FakeHost host;
};

struct EditCase {
    std::int32_t id;
    std::vector<std::string> numbers;
    std::function<Samples(const Samples&)> expected;
};

TEST_F(FileActions, EachEditSavesItsResultAndEmptiesTheSharedWave) {
    const std::vector<EditCase> cases = {
        {aiSub, {"10", "20"}, [](const Samples& s) { return Slice(s, 80, 240); }},
        {aiSub, {"0", "5000"}, [](const Samples& s) { return s; }},
        {aiDelete,
         {"10", "20"},
         [](const Samples& s) { return Join(Slice(s, 0, 80), Slice(s, 240, 800)); }},
        {aiTrimStart, {"30"}, [](const Samples& s) { return Slice(s, 240, 800); }},
        {aiTrimEnd, {"30"}, [](const Samples& s) { return Slice(s, 0, 560); }},
        {aiInvert, {}, [](const Samples& s) { return Samples(s.rbegin(), s.rend()); }},
        {aiChangeVolume,
         {"-50"},
         [](Samples s) {
             for (auto& v : s)
                 v = static_cast<std::int16_t>(v + v * -50 / 100);
             return s;
         }},
        {aiInsertSilence,
         {"50", "10"},
         [](const Samples& s) {
             return Join(Join(Slice(s, 0, 400), Samples(80, 0)), Slice(s, 400, 800));
         }},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(ActionName(c.id));
        std::vector<std::string> params = {Path("src.wav"), Path("out.wav")};
        params.insert(params.end(), c.numbers.begin(), c.numbers.end());
        params.push_back("Result");
        host.variableWrites.clear();
        EXPECT_EQ(Exec(c.id, params), 1);
        EXPECT_EQ(host.variableWrites,
                  (std::vector<std::pair<std::string, std::string>>{{"Result", "True"}}));
        EXPECT_EQ(SamplesOf(Path("out.wav")), c.expected(Source()));
        EXPECT_EQ(SamplesOf(Path("src.wav")), Source());
        EXPECT_TRUE(UtilitiesModule->SharedStorage().Wave()->IsEmpty());
        EXPECT_TRUE(TemporaryFiles().empty());
        std::filesystem::remove(Path("out.wav"));
    }
}

TEST_F(FileActions, MissingSourceIsReportedBeforeTheNumbersAndWritesNothing) {
    // A folder is not a file; the path is reported exactly as given.
    for (const std::string& missing : {Path("none.wav"), std::string(kFolder), Path(" x.wav ")}) {
        for (const std::int32_t id : {aiSub, aiInvert, aiDelete, aiTrimStart, aiTrimEnd,
                                      aiChangeVolume, aiInsertSilence, aiConvertToPCM}) {
            SCOPED_TRACE(std::string(ActionName(id)) + " " + missing);
            std::vector<std::string> params = {missing, Path("out.wav")};
            params.resize(static_cast<std::size_t>(ActionParamCount(id)) - 1, "abc");
            params.push_back("Result");
            host.variableWrites.clear();
            EXPECT_EQ(Exec(id, params), 0);
            EXPECT_EQ(host.variableWrites,
                      (std::vector<std::pair<std::string, std::string>>{
                          {"LastError", NotFound(missing)}, {"Result", "False"}}));
            EXPECT_FALSE(FileExists(Path("out.wav")));
        }
    }
}

TEST_F(FileActions, NumbersThatAreNoIntegersNameTheAction) {
    const std::vector<std::pair<std::int32_t, std::vector<std::string>>> cases = {
        {aiSub, {"abc", "10"}},        {aiSub, {"10", "10 "}}, {aiDelete, {"", "10"}},
        {aiTrimStart, {"abc"}},        {aiTrimEnd, {"abc"}},   {aiChangeVolume, {"1.5"}},
        {aiInsertSilence, {"0", "x"}},
    };
    for (const auto& [id, numbers] : cases) {
        SCOPED_TRACE(ActionName(id));
        std::vector<std::string> params = {Path("src.wav"), Path("out.wav")};
        params.insert(params.end(), numbers.begin(), numbers.end());
        params.push_back("Result");
        host.variableWrites.clear();
        EXPECT_EQ(Exec(id, params), 0);
        EXPECT_EQ(host.Variable("LastError"),
                  "Invalid \"" + std::string(ActionName(id)) + "\" action arguments");
        EXPECT_EQ(host.Variable("Result"), "False");
        EXPECT_FALSE(FileExists(Path("out.wav")));
    }
}

TEST_F(FileActions, AFailingEditWritesNoFileAndSaysWhy) {
    WriteFile(Path("junk.wav"), Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    WAVEFORMATEX adpcm = Pcm(Mono16bit8000Hz);
    adpcm.wFormatTag = 0x11;
    adpcm.wBitsPerSample = 4;
    WriteFile(Path("adpcm.wav"), WaveFile(adpcm, Ramp(256)));
    WAVEFORMATEX alaw = Pcm(Mono8Bit8000Hz);
    alaw.wFormatTag = WAVE_FORMAT_ALAW;
    WriteFile(Path("alaw.wav"), WaveFile(alaw, Ramp(256)));
    // Exactly 1000 ms of 16-bit stereo at 44100 Hz.
    WriteFile(Path("second.wav"), WaveFile(Pcm(Stereo16bit44100Hz), Bytes(176400, 1)));
    const Bytes before = Bytes{'o', 'l', 'd'};
    struct Case {
        std::int32_t id;
        std::vector<std::string> args;
        std::string why;
    };
    const std::vector<Case> cases = {
        {aiSub, {"junk.wav", "0", "10"}, "it has no \"fmt \" chunk"},
        {aiSub, {"src.wav", "100", "10"}, "the start, 100 ms, is not before its end at 100 ms"},
        {aiSub, {"src.wav", "-1", "10"}, "the start, 4294967295 ms, is not before its end"},
        {aiSub, {"src.wav", "0", "0"}, "the length is 0 ms"},
        {aiTrimStart, {"src.wav", "-1"}, "nothing would be left of its data"},
        {aiDelete, {"second.wav", "0", "1000"}, "nothing would be left of its data"},
        {aiInvert, {"adpcm.wav"}, "its format record contradicts itself"},
        {aiInvert,
         {"alaw.wav"},
         "only 8- and 16-bit PCM can be reversed; it holds A-Law: 8,000 kHz"},
        {aiChangeVolume, {"alaw.wav", "50"}, "only 8- and 16-bit PCM can be changed in volume"},
        {aiInsertSilence,
         {"alaw.wav", "0", "10"},
         "silence can be inserted only into 8- and 16-bit PCM"},
        {aiConvertToPCM, {"junk.wav", "PCM: 8,000 kHz, 8 Bit, Mono"}, "it has no \"fmt \" chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ActionName(c.id)) + " " + c.args[0] + " " + c.args.back());
        WriteFile(Path("out.wav"), before);
        std::vector<std::string> params = {Path(c.args[0]), Path("out.wav")};
        params.insert(params.end(), c.args.begin() + 1, c.args.end());
        params.push_back("Result");
        host.variableWrites.clear();
        EXPECT_EQ(Exec(c.id, params), 0);
        ASSERT_EQ(host.variableWrites.size(), 2u);
        EXPECT_EQ(host.variableWrites[0].first, "LastError");
        const std::string& error = host.variableWrites[0].second;
        EXPECT_EQ(error.rfind("Cannot ", 0), 0u) << error;
        EXPECT_NE(error.find(NamedFile(c.args[0]) + c.why), std::string::npos) << error;
        EXPECT_EQ(host.variableWrites[1], (std::pair<std::string, std::string>{"Result", "False"}));
        EXPECT_EQ(ReadFile(Path("out.wav")), before);
        EXPECT_TRUE(TemporaryFiles().empty());
    }
}

TEST_F(FileActions, ADestinationEqualToTheSourceIsReplaced) {
    EXPECT_EQ(Exec(aiTrimEnd, {Path("src.wav"), Path("src.wav"), "90", "Result"}), 1);
    EXPECT_EQ(SamplesOf(Path("src.wav")), Slice(Source(), 0, 80));
}

TEST_F(FileActions, FilesThatCannotBeWrittenAreReportedByName) {
    std::filesystem::create_directory(Path("folder.wav"));
    // A read-only file is not replaced, though the folder would allow it.
    WriteFile(Path("locked.wav"), Bytes{'o', 'l', 'd'});
    std::filesystem::permissions(Path("locked.wav"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    for (const std::string& destination :
         {Path("no-folder/out.wav"), Path("folder.wav"), Path("locked.wav")}) {
        SCOPED_TRACE(destination);
        host.variableWrites.clear();
        EXPECT_EQ(Exec(aiInvert, {Path("src.wav"), destination, "Result"}), 0);
        const std::string error = host.Variable("LastError").value_or("");
        EXPECT_EQ(error.rfind("Cannot create file \"" + destination + "\": ", 0), 0u) << error;
        EXPECT_EQ(host.Variable("Result"), "False");
        EXPECT_TRUE(TemporaryFiles().empty());
        EXPECT_TRUE(UtilitiesModule->SharedStorage().Wave()->IsEmpty());
    }
    EXPECT_EQ(ReadFile(Path("locked.wav")), (Bytes{'o', 'l', 'd'}));
    std::filesystem::permissions(Path("locked.wav"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(Exec(aiInvert, {Path("src.wav"), Path("out.wav"), "Result"}), 1);
}

TEST_F(FileActions, ASourceThatCannotBeReadIsReportedByName) {
    // Another handle writes the source and does not let anyone else in.
    TFileStream writer(Path("src.wav"), fmOpenReadWrite);
    for (const std::int32_t id : {aiInvert, aiInfo, aiConvertToPCM, aiConcat}) {
        SCOPED_TRACE(ActionName(id));
        host.variableWrites.clear();
        std::vector<std::string> params;
        if (id == aiInvert)
            params = {Path("src.wav"), Path("out.wav"), "Result"};
        else if (id == aiInfo)
            params = {Path("src.wav"), "Result"};
        else if (id == aiConvertToPCM)
            params = {Path("src.wav"), Path("out.wav"), "", "Result"};
        else
            params = {Path("src.wav"), Path("src.wav"), "0", Path("out.wav"), "Result"};
        EXPECT_EQ(Exec(id, params), 0);
        EXPECT_EQ(host.variableWrites, (std::vector<std::pair<std::string, std::string>>{
                                           {"LastError", "Cannot open file \"" + Path("src.wav") +
                                                             "\": the file is in use"},
                                           {"Result", "False"}}));
        EXPECT_FALSE(FileExists(Path("out.wav")));
    }
}

TEST_F(FileActions, CyrillicFileNamesWork) {
    const std::string source = Path("Звук.wav"_w1251);
    const std::string target = Path("Обрезано.wav"_w1251);
    std::filesystem::copy_file(Path("src.wav"), Path("plain.wav"));
    EXPECT_EQ(Exec(aiSub, {Path("plain.wav"), source, "0", "100", "Result"}), 1);
    EXPECT_EQ(Exec(aiTrimStart, {source, target, "50", "Result"}), 1);
    EXPECT_EQ(SamplesOf(target), Slice(Source(), 400, 800));
    EXPECT_EQ(Exec(aiInfo, {target, "Info"}), 1);
    EXPECT_EQ(host.Variable("Info1"), "50");
    EXPECT_EQ(Exec(aiInfo, {Path("Нет.wav"_w1251), "Info"}), 1);
    EXPECT_EQ(host.Variable("LastError"), NotFound(Path("Нет.wav"_w1251)));
}

TEST_F(FileActions, InfoWritesFiveLinesAndNeverAnswersZero) {
    EXPECT_EQ(Exec(aiInfo, {Path("src.wav"), "Info"}), 1);
    EXPECT_EQ(host.variableWrites, (std::vector<std::pair<std::string, std::string>>{
                                       {"Info0", "PCM: 8,000 kHz, 16 Bit, Mono"},
                                       {"Info1", "100"},
                                       {"Info2", "128"},
                                       {"Info3", "1600"},
                                       {"Info4", "47"}}));
    EXPECT_TRUE(UtilitiesModule->SharedStorage().Wave()->IsEmpty());

    WriteFile(Path("junk.wav"), Bytes{1, 2, 3});
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiInfo, {Path("junk.wav"), "Info"}), 1);
    EXPECT_EQ(host.variableWrites, (std::vector<std::pair<std::string, std::string>>{
                                       {"Info0", ""},
                                       {"Info1", "0"},
                                       {"Info2", "0"},
                                       {"Info3", "0"},
                                       {"Info4", "-1"},
                                       {"LastError", "Cannot read \"" + Path("junk.wav") +
                                                         "\": it is not a RIFF WAVE file"}}));

    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiInfo, {Path("none.wav"), "Info"}), 1);
    EXPECT_EQ(host.variableWrites,
              (std::vector<std::pair<std::string, std::string>>{
                  {"LastError", NotFound(Path("none.wav"))}, {"Info", "False"}}));
}

TEST_F(FileActions, ConcatJoinsWithASilentGapInTheFirstFilesFormat) {
    WriteFile(Path("b.wav"), WaveFile(Pcm(Mono16bit8000Hz), Samples16({7, 8, 9})));
    EXPECT_EQ(Exec(aiConcat, {Path("src.wav"), Path("b.wav"), "2", Path("ab.wav"), "Result"}), 1);
    EXPECT_EQ(host.Variable("Result"), "True");
    EXPECT_EQ(SamplesOf(Path("ab.wav")), Join(Join(Source(), Samples(16, 0)), {7, 8, 9}));

    // Files of different formats are not joined: the second file's bytes
    // would be read in the first file's format.
    WriteFile(Path("c.wav"), WaveFile(Pcm(Mono8Bit8000Hz), Bytes{1, 2, 3, 4}));
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiConcat, {Path("b.wav"), Path("c.wav"), "0", Path("bc.wav"), "Result"}), 0);
    EXPECT_EQ(host.variableWrites,
              (std::vector<std::pair<std::string, std::string>>{
                  {"LastError", "Cannot join \"" + Path("b.wav") + "\" and \"" + Path("c.wav") +
                                    "\": their formats differ"},
                  {"Result", "False"}}));
    EXPECT_FALSE(FileExists(Path("bc.wav")));
}

TEST_F(FileActions, ConcatRunsAllChecksAndReportsTheLastFailure) {
    WriteFile(Path("junk.wav"), Bytes{1, 2, 3});
    struct Case {
        std::vector<std::string> params;
        std::optional<std::string> lastError;
    };
    const std::vector<Case> cases = {
        {{Path("x.wav"), Path("y.wav"), "abc"}, NotFound(Path("y.wav"))},
        {{Path("x.wav"), Path("src.wav"), "abc"}, NotFound(Path("x.wav"))},
        {{Path("src.wav"), Path("src.wav"), "abc"}, "Invalid \"duVozaConcat\" action arguments"},
        {{Path("junk.wav"), Path("src.wav"), "0"},
         "Cannot join \"" + Path("junk.wav") + "\": it is not a RIFF WAVE file"},
        {{Path("src.wav"), Path("junk.wav"), "0"},
         "Cannot join \"" + Path("junk.wav") + "\": it is not a RIFF WAVE file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params[0] + " " + c.params[1] + " " + c.params[2]);
        host.variableWrites.clear();
        std::vector<std::string> params = c.params;
        params.push_back(Path("joined.wav"));
        params.push_back("Result");
        EXPECT_EQ(Exec(aiConcat, params), 0);
        EXPECT_EQ(host.Variable("LastError"), c.lastError);
        EXPECT_EQ(host.Variable("Result"), "False");
        EXPECT_FALSE(FileExists(Path("joined.wav")));
        EXPECT_TRUE(TemporaryFiles().empty());
    }
}

TEST_F(FileActions, ConvertToPCMTakesTheFormatFromItsDescription) {
    const std::vector<std::pair<std::string, TPCMFormat>> cases = {
        {"PCM: 44,100 kHz, 16 Bit, Stereo", Stereo16bit44100Hz},
        {"PCM: 44.100 kHz, 16 Bit, Stereo", Stereo16bit48000Hz},
        {"PCM: 8,000 kHz, 16 Bit, Mono", Mono16bit8000Hz},
        {"pcm: 8,000 kHz, 8 Bit, Mono", Stereo16bit48000Hz},
        {"PCM: 22,050 kHz, 8 Bit, Stereo", Stereo8bit22050Hz},
    };
    for (const auto& [text, format] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Exec(aiConvertToPCM, {Path("src.wav"), Path("out.wav"), text, "Result"}), 1);
        const std::optional<Bytes> bytes = ReadFile(Path("out.wav"));
        ASSERT_TRUE(bytes);
        TWave wave;
        Load(wave, *bytes);
        const WAVEFORMATEX expected = Pcm(format);
        EXPECT_TRUE(wave.HasFormat(&expected));
        EXPECT_GT(wave.DataBytes(), 0u);
    }
    // A source already in the format is saved unchanged.
    Exec(aiConvertToPCM, {Path("src.wav"), Path("same.wav"), "PCM: 8,000 kHz, 16 Bit, Mono", "R"});
    EXPECT_EQ(ReadFile(Path("same.wav")), ReadFile(Path("src.wav")));
}

} // namespace

namespace {

// Little-endian samples of 1 to 8 bytes.
Bytes Little(std::initializer_list<std::int64_t> values, unsigned bytes) {
    Bytes b;
    for (const std::int64_t v : values)
        for (unsigned i = 0; i < bytes; ++i)
            b.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
    return b;
}

Bytes Append(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <class T>
Bytes Floats(std::initializer_list<T> values) {
    Bytes b(values.size() * sizeof(T));
    std::memcpy(b.data(), std::data(values), b.size());
    return b;
}

} // namespace

TEST_F(FileActions, EditsKeepTheChannelsAndScale8BitSoundAroundItsSilence) {
    WriteFile(Path("lr.wav"),
              WaveFile(Pcm(Stereo16bit8000Hz), Samples16({100, -100, 200, -200, 300, -300})));
    EXPECT_EQ(Exec(aiInvert, {Path("lr.wav"), Path("rl.wav"), "Result"}), 1);
    EXPECT_EQ(SamplesOf(Path("rl.wav"), Stereo16bit8000Hz),
              (Samples{300, -300, 200, -200, 100, -100}));

    WriteFile(Path("8.wav"), WaveFile(Pcm(Mono8Bit8000Hz), Bytes{0, 64, 128, 192, 255}));
    for (const auto& [percent, expected] :
         {std::pair<std::string, Bytes>{"-50", {64, 96, 128, 160, 192}},
          std::pair<std::string, Bytes>{"-100", Bytes(5, 128)}}) {
        SCOPED_TRACE(percent);
        EXPECT_EQ(Exec(aiChangeVolume, {Path("8.wav"), Path("quiet.wav"), percent, "Result"}), 1);
        TWave wave;
        Load(wave, *ReadFile(Path("quiet.wav")));
        EXPECT_EQ(DataOf(wave), expected);
    }

    // The peak counts the negative half-wave too.
    WriteFile(Path("low.wav"), WaveFile(Pcm(Mono16bit8000Hz), Samples16(Samples(80, -16384))));
    EXPECT_EQ(Exec(aiInfo, {Path("low.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info4"), "50");
}

TEST_F(FileActions, OddDataIsSavedWithThePadByteItsSizesCount) {
    // 4,410 frames of 8-bit mono at 44,100 Hz less 10 ms: 3,969 bytes.
    WriteFile(Path("odd.wav"), WaveFile(Pcm(Mono8bit44100Hz), Ramp(4410)));
    EXPECT_EQ(Exec(aiTrimStart, {Path("odd.wav"), Path("out.wav"), "10", "Result"}), 1);
    const Bytes file = *ReadFile(Path("out.wav"));
    ASSERT_EQ(file.size(), 46u + 3969 + 1);
    EXPECT_EQ(Get32(&file[4]), file.size() - 8);
    EXPECT_EQ(Get32(&file[42]), 3969u);
    EXPECT_EQ(file.back(), 0);
}

TEST_F(FileActions, DamagedHeadersAreRefusedAndNoneIsCopied) {
    // Records that contradict themselves: no edit takes them.
    const auto damaged = [](auto change) {
        WAVEFORMATEX f = Pcm(Stereo16bit8000Hz);
        change(f);
        return f;
    };
    const std::vector<std::pair<const char*, WAVEFORMATEX>> records = {
        {"rate 0", damaged([](WAVEFORMATEX& f) { f.nSamplesPerSec = 0; })},
        {"byte rate 0", damaged([](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 0; })},
        {"block 0", damaged([](WAVEFORMATEX& f) { f.nBlockAlign = 0; })},
        {"block 3", damaged([](WAVEFORMATEX& f) { f.nBlockAlign = 3; })},
        {"4 GHz", damaged([](WAVEFORMATEX& f) {
             f.nChannels = 1;
             f.wBitsPerSample = 8;
             f.nBlockAlign = 1;
             f.nSamplesPerSec = f.nAvgBytesPerSec = 4000000000u;
         })},
    };
    for (const auto& [name, format] : records) {
        SCOPED_TRACE(name);
        WriteFile(Path("bad.wav"), WaveFile(format, Ramp(1600)));
        for (const std::int32_t id : {aiInvert, aiChangeVolume, aiInsertSilence, aiTrimStart}) {
            std::vector<std::string> params = {Path("bad.wav"), Path("out.wav")};
            params.resize(static_cast<std::size_t>(ActionParamCount(id)) - 1, "10");
            params.push_back("Result");
            EXPECT_EQ(Exec(id, params), 0) << ActionName(id);
            EXPECT_FALSE(FileExists(Path("out.wav")));
        }
    }
    // A 14-byte format chunk has no sample width: refused too.
    WriteFile(Path("short.wav"),
              Riff({Chunk("fmt ", FormatBytes(Pcm(Mono16bit8000Hz), 14)), Chunk("data", Ramp(8))}));
    EXPECT_EQ(Exec(aiInvert, {Path("short.wav"), Path("out.wav"), "Result"}), 0);

    // Sizes that do not agree with the file are written as they are.
    WriteFile(Path("sizes.wav"), Riff({Chunk("fmt ", FormatBytes(Pcm(Mono16bit8000Hz))),
                                       Chunk("data", Samples16({1, 2, 3}), 7)},
                                      "WAVE", 0x7FFFFFFF));
    EXPECT_EQ(Exec(aiInvert, {Path("sizes.wav"), Path("out.wav"), "Result"}), 1);
    EXPECT_EQ(*ReadFile(Path("out.wav")), WaveFile(Pcm(Mono16bit8000Hz), Samples16({3, 2, 1})));
}

TEST_F(FileActions, AWaveWrittenToAPipeHoldsTheBytesThatAreThere) {
    // Programs writing to a pipe cannot go back to fill in the sizes.
    for (const std::uint32_t size : {0x7FFFF000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(size);
        // 400 stereo frames and a part of one, which is no frame.
        WriteFile(Path("piped.wav"),
                  Riff({Chunk("fmt ", FormatBytes(Pcm(Stereo16bit8000Hz))),
                        Chunk("data", Append(Samples16(Source()), {0x55, 0x66}), size)},
                       "WAVE", size));
        EXPECT_EQ(Exec(aiInfo, {Path("piped.wav"), "Info"}), 1);
        EXPECT_EQ(host.Variable("Info1"), "50");
        EXPECT_EQ(host.Variable("Info3"), "1600");
        EXPECT_EQ(Exec(aiTrimStart, {Path("piped.wav"), Path("out.wav"), "25", "Result"}), 1);
        EXPECT_EQ(SamplesOf(Path("out.wav"), Stereo16bit8000Hz), Slice(Source(), 400, 800));
    }
}

TEST_F(FileActions, RecordingFormatsConvertAlikeOnEverySystem) {
    struct Case {
        const char* name;
        Bytes file;
        std::string to;
        TPCMFormat format;
        Bytes data;
    };
    const Bytes stereo24 = Little({0x123456, -0x123456, 0x7FFFFF, -0x800000, 0x80, 0x7F}, 3);
    const std::vector<Case> cases = {
        {"24-bit extensible",
         Riff({Chunk("fmt ", ExtensibleRecord(2, 44100, 24, 1)), Chunk("data", stereo24)}),
         "PCM: 44,100 kHz, 16 Bit, Stereo", Stereo16bit44100Hz,
         Samples16({4660, -4660, 32767, -32768, 1, 0})},
        {"24-bit to mono, the channels' mean", WaveFile(AnyFormat(1, 2, 44100, 24), stereo24),
         "PCM: 44,100 kHz, 16 Bit, Mono", Mono16bit44100Hz, Samples16({0, 0, 0})},
        {"24-bit at 22050 Hz doubled", WaveFile(AnyFormat(1, 1, 22050, 24), Little({256, -512}, 3)),
         "PCM: 44,100 kHz, 16 Bit, Mono", Mono16bit44100Hz, Samples16({1, 1, -2, -2})},
        {"32-bit",
         WaveFile(AnyFormat(1, 1, 8000, 32), Little({0x7FFFFFFF, -0x40000000, 0x8000}, 4)),
         "PCM: 8,000 kHz, 8 Bit, Mono", Mono8Bit8000Hz, Bytes{255, 64, 128}},
        {"float",
         Riff({Chunk("fmt ", ExtensibleRecord(1, 8000, 32, 3)),
               Chunk("data", Floats<float>({0.5f, -1.0f, 1.0f, 0.25f, 1e9f, NAN}))}),
         "PCM: 8,000 kHz, 16 Bit, Mono", Mono16bit8000Hz,
         Samples16({16384, -32768, 32767, 8192, 32767, 0})},
        {"double to stereo", WaveFile(AnyFormat(3, 1, 8000, 64), Floats<double>({-0.5, 0.125})),
         "PCM: 8,000 kHz, 16 Bit, Stereo", Stereo16bit8000Hz,
         Samples16({-16384, -16384, 4096, 4096})},
        {"16-bit, three channels",
         WaveFile(AnyFormat(1, 3, 8000, 16), Samples16({1000, 2000, 4000, -3000, 100, 7})),
         "PCM: 8,000 kHz, 16 Bit, Stereo", Stereo16bit8000Hz, Samples16({2500, 2000, -1496, 100})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(Path("in.wav"), c.file);
        ASSERT_EQ(Exec(aiConvertToPCM, {Path("in.wav"), Path("out.wav"), c.to, "Result"}), 1);
        EXPECT_EQ(*ReadFile(Path("out.wav")), WaveFile(Pcm(c.format), c.data));
    }

    // 16-bit PCM inside WAVE_FORMAT_EXTENSIBLE is plain PCM to every action.
    WriteFile(Path("ext.wav"), Riff({Chunk("fmt ", ExtensibleRecord(1, 8000, 16, 1, 16, 4)),
                                     Chunk("data", Samples16({1, 2, 3}))}));
    EXPECT_EQ(Exec(aiInfo, {Path("ext.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info0"), "PCM: 8,000 kHz, 16 Bit, Mono");
    EXPECT_EQ(Exec(aiInvert, {Path("ext.wav"), Path("out.wav"), "Result"}), 1);
    EXPECT_EQ(SamplesOf(Path("out.wav")), (Samples{3, 2, 1}));
}

TEST_F(FileActions, GsmConvertsOnEverySystem) {
    WAVEFORMATEX gsm{};
    gsm.wFormatTag = WAVE_FORMAT_GSM610;
    gsm.nChannels = 1;
    gsm.nSamplesPerSec = 8000;
    gsm.nAvgBytesPerSec = 1625;
    gsm.nBlockAlign = 65;
    gsm.cbSize = 2;
    Bytes record = FormatBytes(gsm, 20);
    record[18] = 320 & 0xFF;
    record[19] = 320 >> 8;
    // Three blocks and a part of one, which is no block.
    WriteFile(Path("gsm.wav"),
              Riff({Chunk("fmt ", record), Chunk("data", testdata::RandomBytes(3 * 65 + 10, 11))}));
    EXPECT_EQ(Exec(aiInfo, {Path("gsm.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info0"), "GSM 6.10: 8,000 kHz, Mono");
    EXPECT_EQ(host.Variable("Info3"), "195");
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("gsm.wav"), Path("out.wav"), "PCM: 8,000 kHz, 16 Bit, Mono", "Result"}),
              1);
    TWave wave;
    Load(wave, *ReadFile(Path("out.wav")));
    EXPECT_EQ(wave.DataBytes(), 3 * 640u);
    EXPECT_EQ(testdata::Hash(DataOf(wave)),
              1464705406u); // libgsm's decoding, as the platform's test has it
}

TEST(FileActionFrame, MemoryThatRunsOutIsReportedWithTheFileAndTheSize) {
    try {
        ForFile("big.wav", [] { throw EOutOfMemory(635043840); });
        FAIL() << "nothing raised";
    } catch (const EStreamError& error) {
        EXPECT_STREQ(error.what(),
                     "Not enough memory for \"big.wav\": 635043840 bytes could not be had");
    }
}

// --- files as other programs write them -------------------------------------------------

namespace {

// Where the "data" chunk's contents start in a file built by the tests.
std::size_t DataOffset(const Bytes& file) {
    for (std::size_t i = 12; i + 8 <= file.size(); ++i)
        if (std::memcmp(file.data() + i, "data", 4) == 0)
            return i + 8;
    return 0;
}

Bytes WithData(Bytes file, const Bytes& data) {
    std::copy(data.begin(), data.end(),
              file.begin() + static_cast<std::ptrdiff_t>(DataOffset(file)));
    return file;
}

void Set32(Bytes& file, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 16-byte PCM "fmt " chunk, as most programs write it.
Bytes Fmt16(TPCMFormat format) {
    return Chunk("fmt ", FormatBytes(Pcm(format), 16));
}

// Title and artist, a broadcast description, an odd-sized chunk of its own
// with its pad byte: what stays true after any edit of the samples.
std::vector<Bytes> Metadata() {
    return {Chunk("LIST", InfoList("Title", "Artist")), Chunk("bext", Ramp(21, 'a')),
            Chunk("odd ", Bytes{1, 2, 3})};
}

// Cue points and sampler loops: positions in the samples.
std::vector<Bytes> Positions() {
    Bytes cue = Ramp(28, 1); // one point
    cue[0] = 1;
    cue[1] = cue[2] = cue[3] = 0;
    return {Chunk("cue ", cue), Chunk("smpl", Ramp(36, 7))};
}

// IMA ADPCM at 8000 Hz: its extra word is the samples in a block.
Bytes ImaRecord(WORD channels, WORD block, DWORD avg) {
    const unsigned samples = (block - 4u * channels) * 2 / channels + 1;
    return CodedRecord(
        WAVE_FORMAT_IMA_ADPCM, channels, 8000, avg, block, 4,
        {static_cast<std::uint8_t>(samples), static_cast<std::uint8_t>(samples >> 8)});
}

std::vector<Bytes> Concatenated(std::initializer_list<std::vector<Bytes>> lists) {
    std::vector<Bytes> all;
    for (const auto& list : lists)
        all.insert(all.end(), list.begin(), list.end());
    return all;
}

} // namespace

TEST_F(FileActions, ReversalAndVolumeChangeOnlyTheSamples) {
    // 16-bit stereo frames.
    const Samples frames = {1000, -1000, 2001, -2001, -7, 9};
    const Bytes source = Riff(Concatenated({{Fmt16(Stereo16bit8000Hz)},
                                            Metadata(),
                                            {Chunk("data", Samples16(frames))},
                                            Positions(),
                                            {Chunk("iXML", Bytes{'<', 'x', '/', '>'})}}));
    WriteFile(Path("tagged.wav"), source);
    ASSERT_EQ(Exec(aiInvert, {Path("tagged.wav"), Path("out.wav"), "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")),
              WithData(source, Samples16({-7, 9, 2001, -2001, 1000, -1000})));
    ASSERT_EQ(Exec(aiChangeVolume, {Path("tagged.wav"), Path("out.wav"), "-50", "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")),
              WithData(source, Samples16({500, -500, 1001, -1001, -4, 5})));

    // Written to a pipe: both sizes all ones and odd 8-bit data without its
    // pad byte. The sizes are corrected and the pad byte added, nothing else.
    Bytes piped =
        Riff({Fmt16(Mono8Bit8000Hz), Chunk("LIST", InfoList("T", "A"))}, "WAVE", 0xFFFFFFFF);
    const Bytes header = {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 10, 20, 30};
    piped.insert(piped.end(), header.begin(), header.end());
    WriteFile(Path("piped.wav"), piped);
    Bytes repaired = piped;
    repaired.push_back(0);
    Set32(repaired, 4, static_cast<std::uint32_t>(repaired.size() - 8));
    Set32(repaired, repaired.size() - 8, 3);
    ASSERT_EQ(Exec(aiInvert, {Path("piped.wav"), Path("out.wav"), "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")), WithData(repaired, {30, 20, 10}));
}

TEST_F(FileActions, SavingEditsKeepTheFormatRecordAndTheChunksThatStayTrue) {
    // 5.1 at 8000 Hz: 12 bytes a frame, 96 a millisecond; 10 ms.
    const Bytes fmt = Chunk("fmt ", ExtensibleRecord(6, 8000, 16, 1, 16, 0x3F));
    const Bytes data = testdata::RandomBytes(960, 5);
    const Bytes source = Riff(Concatenated(
        {{fmt, Chunk("fact", Bytes{1, 0, 0, 0})}, Metadata(), Positions(), {Chunk("data", data)}}));
    WriteFile(Path("surround.wav"), source);
    // The format record as it was, the title and description kept; the cue
    // points, loops, a chunk nobody knows and the fact chunk that counted
    // other data dropped. An extensible record is not PCM to other readers:
    // a new fact chunk counts the frames of the new data.
    const auto expected = [&](const Bytes& samples) {
        const std::vector<Bytes> metadata = Metadata();
        Bytes frames;
        Put32(frames, static_cast<std::uint32_t>(samples.size() / 12));
        return Riff({fmt, Chunk("fact", frames), metadata[0], metadata[1], Chunk("data", samples)});
    };
    const auto slice = [&](std::size_t from, std::size_t to) {
        return Bytes(data.begin() + static_cast<std::ptrdiff_t>(from),
                     data.begin() + static_cast<std::ptrdiff_t>(to));
    };
    const auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::pair<std::vector<std::string>, Bytes>> cases = {
        {{"duVozaSub", "1", "2"}, slice(96, 288)},
        {{"duVozaDelete", "1", "2"}, join(slice(0, 96), slice(288, 960))},
        {{"duVozaTrimStart", "9"}, slice(864, 960)},
        {{"duVozaTrimEnd", "9"}, slice(0, 96)},
        {{"duVozaInsertSilence", "10", "1"}, join(data, Bytes(96, 0))},
    };
    for (const auto& [args, samples] : cases) {
        SCOPED_TRACE(args[0]);
        const std::int32_t id = args[0] == "duVozaSub"         ? aiSub
                                : args[0] == "duVozaDelete"    ? aiDelete
                                : args[0] == "duVozaTrimStart" ? aiTrimStart
                                : args[0] == "duVozaTrimEnd"   ? aiTrimEnd
                                                               : aiInsertSilence;
        std::vector<std::string> params = {Path("surround.wav"), Path("out.wav")};
        params.insert(params.end(), args.begin() + 1, args.end());
        params.push_back("Result");
        ASSERT_EQ(Exec(id, params), 1);
        EXPECT_EQ(ReadFile(Path("out.wav")), expected(samples));
    }
    ASSERT_EQ(Exec(aiConcat,
                   {Path("surround.wav"), Path("surround.wav"), "0", Path("out.wav"), "Result"}),
              1);
    EXPECT_EQ(ReadFile(Path("out.wav")), expected(join(data, data)));

    // Data other than PCM gets a fact chunk with its new sample count.
    WAVEFORMATEX alaw = Pcm(Mono8Bit8000Hz);
    alaw.wFormatTag = WAVE_FORMAT_ALAW;
    const Bytes alawData = testdata::RandomBytes(800, 6);
    WriteFile(Path("alaw.wav"), WaveFile(alaw, alawData));
    ASSERT_EQ(Exec(aiSub, {Path("alaw.wav"), Path("out.wav"), "10", "50", "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")),
              Riff({Chunk("fmt ", FormatBytes(alaw)), Chunk("fact", Bytes{144, 1, 0, 0}),
                    Chunk("data", Bytes(alawData.begin() + 80, alawData.begin() + 480))}));
}

TEST_F(FileActions, Rf64FilesAreReadAndTooLargeOnesRefusedWithAReason) {
    const Samples samples = Slice(Source(), 0, 800); // 100 ms
    const Bytes list = Chunk("LIST", InfoList("Long take", "Recorder"));
    const Bytes rf64 = Rf64({Fmt16(Mono16bit8000Hz), list}, Samples16(samples), 800);
    WriteFile(Path("rf64.wav"), rf64);
    ASSERT_EQ(Exec(aiInfo, {Path("rf64.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info0"), "PCM: 8,000 kHz, 16 Bit, Mono");
    EXPECT_EQ(host.Variable("Info1"), "100");
    EXPECT_EQ(host.Variable("Info3"), "1600");
    // A saving edit writes a plain RIFF file; reversal keeps the RF64 file.
    ASSERT_EQ(Exec(aiSub, {Path("rf64.wav"), Path("out.wav"), "0", "50", "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")), Riff({Fmt16(Mono16bit8000Hz), list,
                                               Chunk("data", Samples16(Slice(samples, 0, 400)))}));
    ASSERT_EQ(Exec(aiInvert, {Path("rf64.wav"), Path("out.wav"), "Result"}), 1);
    Samples reversed(samples.rbegin(), samples.rend());
    EXPECT_EQ(ReadFile(Path("out.wav")), WithData(rf64, Samples16(reversed)));

    // Written to a pipe, the sizes and the sample count in ds64 are 0: the
    // data runs to the end, and a saved copy gets its true sizes and count.
    Bytes piped = rf64;
    std::fill(piped.begin() + 20, piped.begin() + 44, 0);
    WriteFile(Path("piped.wav"), piped);
    ASSERT_EQ(Exec(aiInfo, {Path("piped.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info1"), "100");
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("piped.wav"), Path("out.wav"), "PCM: 8,000 kHz, 16 Bit, Mono", "Result"}),
              1);
    Bytes repaired = piped;
    repaired[20] = static_cast<std::uint8_t>(rf64.size() - 8);
    repaired[21] = static_cast<std::uint8_t>((rf64.size() - 8) >> 8);
    repaired[28] = 1600 & 0xFF;
    repaired[29] = 1600 >> 8;
    repaired[36] = 800 & 0xFF; // the sample count
    repaired[37] = 800 >> 8;
    EXPECT_EQ(ReadFile(Path("out.wav")), repaired);

    // Data larger than a wave can hold is refused, and said so.
    Bytes huge = rf64;
    huge[32] = 1; // 4 GiB more
    WriteFile(Path("huge.wav"), huge);
    const std::string why =
        "its data of 4294968896 bytes is larger than the 2147483392 bytes that can be edited";
    host.variableWrites.clear();
    ASSERT_EQ(Exec(aiInfo, {Path("huge.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info1"), "0");
    EXPECT_EQ(host.Variable("LastError"), "Cannot read \"" + Path("huge.wav") + "\": " + why);
    EXPECT_EQ(Exec(aiTrimStart, {Path("huge.wav"), Path("out.wav"), "10", "Result"}), 0);
    EXPECT_EQ(host.Variable("LastError"),
              "Cannot trim the start of \"" + Path("huge.wav") + "\": " + why);
}

TEST_F(FileActions, NoActionAnswersFalseWithoutSayingWhy) {
    WriteFile(Path("empty.wav"), {});
    WriteFile(Path("junk.wav"), testdata::RandomBytes(100, 3));
    WriteFile(Path("no-ds64.wav"), Bytes{'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A',
                                         'V', 'E', 'f', 'm', 't',  ' ',  0,    0,    0,   0});
    // MPEG Layer-3 in WAVE, whose decoding this system may not have.
    const Bytes mp3 = CodedRecord(WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0,
                                  {1, 0, 2, 0, 0, 0, 0xA1, 1, 1, 0, 0x71, 5});
    WriteFile(Path("mp3.wav"),
              Riff({Chunk("fmt ", mp3), Chunk("data", testdata::RandomBytes(2000, 4))}));
    WAVEFORMATEX alaw = Pcm(Mono8Bit8000Hz);
    alaw.wFormatTag = WAVE_FORMAT_ALAW;
    WriteFile(Path("alaw.wav"), WaveFile(alaw, Ramp(200)));
    WriteFile(Path("short.wav"), WaveFile(Pcm(Mono16bit8000Hz), {}));

    const std::vector<std::string> files = {"empty.wav", "junk.wav", "no-ds64.wav",
                                            "mp3.wav",   "alaw.wav", "short.wav"};
    const std::vector<std::pair<std::int32_t, std::vector<std::string>>> actions = {
        {aiSub, {"5", "10"}},
        {aiSub, {"500", "10"}},
        {aiDelete, {"0", "100000"}},
        {aiTrimStart, {"100000"}},
        {aiTrimEnd, {"100000"}},
        {aiInvert, {}},
        {aiChangeVolume, {"50"}},
        {aiInsertSilence, {"0", "10"}},
        {aiInsertSilence, {"0", "0"}},
        {aiConvertToPCM, {"PCM: 8,000 kHz, 8 Bit, Mono"}},
        {aiConcat, {}},
    };
    int refusals = 0;
    for (const std::string& file : files) {
        for (const auto& [id, numbers] : actions) {
            SCOPED_TRACE(std::string(ActionName(id)) + " " + file);
            std::vector<std::string> params = {Path(file), Path("out.wav")};
            if (id == aiConcat)
                params = {Path("src.wav"), Path(file), "5", Path("out.wav")};
            params.insert(params.end(), numbers.begin(), numbers.end());
            params.push_back("Result");
            host.variableWrites.clear();
            const std::int32_t answer = Exec(id, params);
            if (host.Variable("Result") != "False") {
                EXPECT_EQ(answer, 1);
                continue;
            }
            ++refusals;
            EXPECT_EQ(answer, 0);
            const std::string error = host.Variable("LastError").value_or("");
            EXPECT_NE(error.find(NamedFile(file)), std::string::npos) << error;
            EXPECT_GT(error.size(), error.find("\": ") + 3) << error;
        }
    }
    EXPECT_GE(refusals, 50);
}

TEST_F(FileActions, BlockFormatsAreTimedByTheirBlocks) {
    // IMA ADPCM as one converter writes it: 1024-byte blocks of 2041 samples
    // at 8000 Hz (4014 bytes a second), but 16000 bytes a second in the header.
    const Bytes record = ImaRecord(1, 1024, 16000);
    const Bytes data = testdata::RandomBytes(4 * 1024, 8);
    WriteFile(Path("ima.wav"), Riff({Chunk("fmt ", record), Chunk("fact", Bytes{0xE4, 0x1F, 0, 0}),
                                     Chunk("data", data)}));
    ASSERT_EQ(Exec(aiInfo, {Path("ima.wav"), "Info"}), 1);
    EXPECT_EQ(host.Variable("Info1"), "1020"); // 4 * 2041 samples
    // 600 ms are 4800 samples: two whole blocks.
    ASSERT_EQ(Exec(aiSub, {Path("ima.wav"), Path("out.wav"), "0", "600", "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")),
              Riff({Chunk("fmt ", record), Chunk("fact", Bytes{0xF2, 0x0F, 0, 0}),
                    Chunk("data", Bytes(data.begin(), data.begin() + 2048))}));
}

TEST_F(FileActions, ConversionIntoTheOwnFormatCopiesOnlyAWellFormedFile) {
    const Bytes tagged = Riff({Fmt16(Mono16bit8000Hz), Chunk("LIST", InfoList("T", "A")),
                               Chunk("data", Samples16(Source()))});
    WriteFile(Path("tagged.wav"), tagged);
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("tagged.wav"), Path("out.wav"), "PCM: 8,000 kHz, 16 Bit, Mono", "Result"}),
              1);
    EXPECT_EQ(ReadFile(Path("out.wav")), tagged);

    // What a speech synthesizer writes to its standard output: sizes it could
    // not fill in, and odd 8-bit data without its pad byte.
    Bytes spoken = Riff({Fmt16(Mono8Bit8000Hz)}, "WAVE", 0x7FFFF000);
    const Bytes data = {'d', 'a', 't', 'a', 0x00, 0xF0, 0xFF, 0x7F, 128, 140, 120};
    spoken.insert(spoken.end(), data.begin(), data.end());
    WriteFile(Path("spoken.wav"), spoken);
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("spoken.wav"), Path("out.wav"), "PCM: 8,000 kHz, 8 Bit, Mono", "Result"}),
              1);
    Bytes repaired = spoken;
    repaired.push_back(0);
    Set32(repaired, 4, static_cast<std::uint32_t>(repaired.size() - 8));
    Set32(repaired, repaired.size() - 8, 3);
    EXPECT_EQ(ReadFile(Path("out.wav")), repaired);
}

TEST_F(FileActions, StereoToMonoAveragesTheChannels) {
    // Summed, the first two frames would clip; averaged, they are exact.
    WriteFile(Path("s16.wav"),
              WaveFile(Pcm(Stereo16bit8000Hz),
                       Samples16({30000, 30000, -30000, -32768, 1, 2, -1, -2, 100, -100})));
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("s16.wav"), Path("out.wav"), "PCM: 8,000 kHz, 16 Bit, Mono", "Result"}),
              1);
    EXPECT_EQ(SamplesOf(Path("out.wav")), (Samples{30000, -31384, 2, -1, 0}));

    WriteFile(Path("s8.wav"), WaveFile(Pcm(Stereo8bit8000Hz), {255, 255, 0, 0, 200, 100, 1, 2}));
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("s8.wav"), Path("out.wav"), "PCM: 8,000 kHz, 8 Bit, Mono", "Result"}),
              1);
    EXPECT_EQ(ReadFile(Path("out.wav")), WaveFile(Pcm(Mono8Bit8000Hz), {255, 0, 150, 2}));

    // A coding is decoded by the system and its channels averaged here: the
    // mono result is the mean of the stereo one, frame by frame.
    const Bytes record = ImaRecord(2, 256, 4055);
    Bytes blocks = testdata::RandomBytes(4 * 256, 9);
    for (std::size_t b = 0; b < blocks.size(); b += 256)
        for (std::size_t c = 0; c < 2; ++c) {
            blocks[b + 4 * c + 2] %= 89; // a step index the decoders accept
            blocks[b + 4 * c + 3] = 0;
        }
    WriteFile(Path("ima.wav"), Riff({Chunk("fmt ", record), Chunk("data", blocks)}));
    ASSERT_EQ(Exec(aiConvertToPCM, {Path("ima.wav"), Path("stereo.wav"),
                                    "PCM: 8,000 kHz, 16 Bit, Stereo", "Result"}),
              1);
    ASSERT_EQ(Exec(aiConvertToPCM,
                   {Path("ima.wav"), Path("mono.wav"), "PCM: 8,000 kHz, 16 Bit, Mono", "Result"}),
              1);
    const std::optional<Samples> stereo = SamplesOf(Path("stereo.wav"), Stereo16bit8000Hz);
    const std::optional<Samples> mono = SamplesOf(Path("mono.wav"));
    ASSERT_TRUE(stereo && mono);
    ASSERT_EQ(mono->size() * 2, stereo->size());
    for (std::size_t i = 0; i < mono->size(); ++i)
        ASSERT_EQ((*mono)[i], static_cast<std::int16_t>(
                                  std::floor(((*stereo)[2 * i] + (*stereo)[2 * i + 1] + 1) / 2.0)))
            << i;
}

TEST_F(FileActions, EightBitSilenceIsTheZeroOfUnsignedSamples) {
    WriteFile(Path("m8.wav"), WaveFile(Pcm(Mono8Bit8000Hz), {1, 2, 3, 4}));
    ASSERT_EQ(Exec(aiInsertSilence, {Path("m8.wav"), Path("out.wav"), "0", "1", "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")),
              WaveFile(Pcm(Mono8Bit8000Hz), {128, 128, 128, 128, 128, 128, 128, 128, 1, 2, 3, 4}));
    ASSERT_EQ(Exec(aiConcat, {Path("m8.wav"), Path("m8.wav"), "1", Path("out.wav"), "Result"}), 1);
    EXPECT_EQ(ReadFile(Path("out.wav")),
              WaveFile(Pcm(Mono8Bit8000Hz),
                       {1, 2, 3, 4, 128, 128, 128, 128, 128, 128, 128, 128, 1, 2, 3, 4}));
}
