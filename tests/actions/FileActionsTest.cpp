// The file actions through nbExecAction, on real files in a folder of their own.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/UWaveUtilitiesModule.h"
#include "host/Catalogue.h"
#include "host/Lifecycle.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"
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

    std::int32_t Exec(std::int32_t id, const std::vector<std::string>& params) {
        EXPECT_EQ(params.size(), static_cast<std::size_t>(ActionParamCount(id))) << ActionName(id);
        HostParams slots(params);
        return nbExecAction(id, slots.Slots());
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

TEST_F(FileActions, AFailingEditWritesNoFileAndLeavesLastErrorAlone) {
    WriteFile(Path("junk.wav"), Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    WAVEFORMATEX adpcm = Pcm(Mono16bit8000Hz);
    adpcm.wFormatTag = 0x11;
    adpcm.wBitsPerSample = 4;
    WriteFile(Path("adpcm.wav"), WaveFile(adpcm, Ramp(256)));
    // Exactly 1000 ms of 16-bit stereo at 44100 Hz.
    WriteFile(Path("second.wav"), WaveFile(Pcm(Stereo16bit44100Hz), Bytes(176400, 1)));
    const Bytes before = Bytes{'o', 'l', 'd'};
    const std::vector<std::pair<std::int32_t, std::vector<std::string>>> cases = {
        {aiSub, {"junk.wav", "0", "10"}},
        {aiSub, {"src.wav", "100", "10"}}, // starts at the end
        {aiSub, {"src.wav", "-1", "10"}},  // a negative start lies far beyond it
        {aiTrimStart, {"src.wav", "-1"}},  // ... a negative length takes everything
        {aiDelete, {"second.wav", "0", "1000"}},
        {aiInvert, {"adpcm.wav"}},
        {aiChangeVolume, {"adpcm.wav", "50"}},
        {aiInsertSilence, {"adpcm.wav", "0", "10"}},
        {aiConvertToPCM, {"junk.wav", "PCM: 8,000 kHz, 8 Bit, Mono"}},
    };
    for (const auto& [id, args] : cases) {
        SCOPED_TRACE(std::string(ActionName(id)) + " " + args[0] + " " + args.back());
        WriteFile(Path("out.wav"), before);
        std::vector<std::string> params = {Path(args[0]), Path("out.wav")};
        params.insert(params.end(), args.begin() + 1, args.end());
        params.push_back("Result");
        host.variableWrites.clear();
        EXPECT_EQ(Exec(id, params), 0);
        EXPECT_EQ(host.variableWrites,
                  (std::vector<std::pair<std::string, std::string>>{{"Result", "False"}}));
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
    EXPECT_EQ(host.variableWrites,
              (std::vector<std::pair<std::string, std::string>>{
                  {"Info0", ""}, {"Info1", "0"}, {"Info2", "0"}, {"Info3", "0"}, {"Info4", "-1"}}));

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

    // The second file's bytes are taken as they are, whatever its format.
    WriteFile(Path("c.wav"), WaveFile(Pcm(Mono8Bit8000Hz), Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Exec(aiConcat, {Path("b.wav"), Path("c.wav"), "0", Path("bc.wav"), "Result"}), 1);
    EXPECT_EQ(SamplesOf(Path("bc.wav")), (Samples{7, 8, 9, 0x0201, 0x0403}));
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
        {{Path("junk.wav"), Path("src.wav"), "0"}, std::nullopt},
        {{Path("src.wav"), Path("junk.wav"), "0"}, std::nullopt},
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
