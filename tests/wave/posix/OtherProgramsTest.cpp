// Files that other programs write, edited here and read back by them: ffmpeg
// (RF64, output to a pipe, ADPCM), libsndfile's tools (metadata chunks) and
// sox. Each case is skipped where its program is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "wave/WaveBytes.h"
#include "wave/WaveStorage.h"

using namespace wavetest;

namespace {

constexpr const char* kFolder = "other-programs.tmp";

std::string In(const std::string& name) {
    return std::string(kFolder) + "/" + name;
}

bool Installed(const std::string& program) {
    return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& command) {
    return std::system(("(" + command + ") > /dev/null 2>&1").c_str()) == 0;
}

// What a command prints on its standard output and error.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            text += buffer;
        pclose(pipe);
    }
    return text;
}

// ffprobe's length of a file in milliseconds; -1 when it has none.
double ProbedMs(const std::string& file) {
    const std::string text =
        Output("ffprobe -v error -show_entries format=duration -of csv=p=0 " + file);
    return text.empty() ? -1 : std::atof(text.c_str()) * 1000;
}

// libsndfile's complaints about a file: the lines it marks with "**" or a
// warning.
std::string SndfileWarnings(const std::string& file) {
    std::string warnings;
    const std::string text = Output("sndfile-info " + file);
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        const std::string line = text.substr(from, end - from);
        if (line.rfind("**", 0) == 0 || line.find("arning") != std::string::npos)
            warnings += line + "\n";
        from = end + 1;
    }
    return warnings;
}

void Save(TWave& wave, const std::string& file) {
    wave.SaveToFile(file);
}

class OtherPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(kFolder);
        std::filesystem::create_directory(kFolder);
    }
    void TearDown() override { std::filesystem::remove_all(kFolder); }
};

TEST_F(OtherPrograms, Rf64AndPipedFilesOfFfmpegAreReadAndSavedWhole) {
    if (!Installed("ffmpeg") || !Installed("ffprobe") || !Installed("sndfile-info"))
        GTEST_SKIP() << "ffmpeg or sndfile-info is not installed";
    ASSERT_TRUE(
        Shell("ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.5 "
              "-ac 2 -c:a pcm_s16le " +
              In("tone.wav")));
    ASSERT_TRUE(Shell("ffmpeg -v error -i " + In("tone.wav") + " -rf64 always " + In("rf64.wav")));
    ASSERT_TRUE(Shell("ffmpeg -v error -i " + In("tone.wav") + " -rf64 always -f wav - > " +
                      In("rf64-piped.wav")));
    ASSERT_TRUE(Shell("ffmpeg -v error -i " + In("tone.wav") + " -f wav - > " + In("piped.wav")));
    for (const char* name : {"rf64.wav", "rf64-piped.wav", "piped.wav"}) {
        SCOPED_TRACE(name);
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(In(name))) << wave.Refusal();
        EXPECT_EQ(wave.DurationMs(), 1500);
        EXPECT_EQ(wave.DataBytes(), 1500u * 22050 * 4 / 1000);
        // Converted into its own format it is repaired where it has to be,
        // and then every reader finds all of it.
        ASSERT_TRUE(wave.ConvertToPCM(Stereo16bit22050Hz));
        Save(wave, In("saved.wav"));
        EXPECT_NEAR(ProbedMs(In("saved.wav")), 1500, 1);
        EXPECT_EQ(SndfileWarnings(In("saved.wav")), "");
        // A part of it, saved as a plain RIFF file.
        ASSERT_TRUE(wave.KeepRange(500, 500));
        Save(wave, In("part.wav"));
        EXPECT_NEAR(ProbedMs(In("part.wav")), 500, 1);
        EXPECT_EQ(SndfileWarnings(In("part.wav")), "");
    }
}

TEST_F(OtherPrograms, AdpcmOfFfmpegIsTimedAsOtherReadersTimeIt) {
    if (!Installed("ffmpeg") || !Installed("ffprobe") || !Installed("sndfile-info"))
        GTEST_SKIP() << "ffmpeg or sndfile-info is not installed";
    ASSERT_TRUE(
        Shell("ffmpeg -v error -f lavfi -i sine=frequency=300:sample_rate=8000:duration=2.1 " +
              In("tone.wav")));
    for (const char* codec : {"adpcm_ima_wav", "adpcm_ms"}) {
        SCOPED_TRACE(codec);
        const std::string file = In(std::string(codec) + ".wav");
        ASSERT_TRUE(Shell("ffmpeg -v error -i " + In("tone.wav") + " -c:a " + codec + " " + file));
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(file));
        const WAVEFORMATEX* format = wave.FormatRecord();
        // Every block counts whole here; the last one of the file is only
        // partly used by the others.
        const double block = 1000.0 * SamplesPerBlock(format) / format->nSamplesPerSec;
        const double probed = ProbedMs(file);
        EXPECT_GE(wave.DurationMs(), probed - 1);
        EXPECT_LE(wave.DurationMs(), probed + block + 1);
        // A cut at 1000 ms lands on the block that holds that time.
        ASSERT_TRUE(wave.KeepRange(0, 1000));
        Save(wave, In("part.wav"));
        EXPECT_EQ(SndfileWarnings(In("part.wav")), ""); // it has its fact chunk
        EXPECT_LE(ProbedMs(In("part.wav")), 1000);
        EXPECT_GT(ProbedMs(In("part.wav")), 1000 - block - 1);
    }
}

TEST_F(OtherPrograms, MetadataOfLibsndfileSurvivesTheEdits) {
    if (!Installed("sox") || !Installed("sndfile-metadata-set") ||
        !Installed("sndfile-metadata-get"))
        GTEST_SKIP() << "sox or libsndfile's metadata tools are not installed";
    ASSERT_TRUE(Shell("sox -n -r 11025 -b 16 -c 1 " + In("plain.wav") + " synth 1 sine 500"));
    ASSERT_TRUE(Shell("sndfile-metadata-set --str-title \"A title\" --str-artist \"An artist\" "
                      "--bext-description \"A take\" " +
                      In("plain.wav") + " " + In("tagged.wav")));
    const std::string query = "sndfile-metadata-get --str-title --str-artist --bext-description ";
    const std::string before = Output(query + In("tagged.wav"));
    ASSERT_NE(before.find("A title"), std::string::npos) << before;
    const auto same = [&](const std::string& file) {
        std::string after = Output(query + file);
        return after.substr(after.find('\n') + 1) == before.substr(before.find('\n') + 1);
    };
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(In("tagged.wav")));
    ASSERT_TRUE(wave.Invert());
    ASSERT_TRUE(wave.ChangeVolume(-30));
    Save(wave, In("edited.wav"));
    EXPECT_TRUE(same(In("edited.wav"))) << Output(query + In("edited.wav"));
    ASSERT_TRUE(wave.KeepRange(100, 300));
    Save(wave, In("part.wav"));
    EXPECT_TRUE(same(In("part.wav"))) << Output(query + In("part.wav"));
    EXPECT_EQ(SndfileWarnings(In("part.wav")), "");
}

TEST_F(OtherPrograms, EightBitSilenceIsWhatSoxPads) {
    if (!Installed("sox"))
        GTEST_SKIP() << "sox is not installed";
    ASSERT_TRUE(Shell("sox -n -r 8000 -b 8 -c 1 " + In("tone.wav") + " synth 0.1 sine 700"));
    ASSERT_TRUE(Shell("sox " + In("tone.wav") + " " + In("padded.wav") + " pad 0.01@0.05"));
    TWave ours;
    ASSERT_TRUE(ours.LoadFromFile(In("tone.wav")));
    ASSERT_TRUE(ours.InsertSilence(50, 10));
    TWave theirs;
    ASSERT_TRUE(theirs.LoadFromFile(In("padded.wav")));
    EXPECT_EQ(DataOf(ours), DataOf(theirs));
}

} // namespace
