// Recording formats converted by our own code, and the channels of any PCM
// folded into fewer, come within one step of the lowest bit of what sox makes
// of the same file (without dither). Skipped where sox is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "wave/WaveBytes.h"
#include "wave/WaveStorage.h"

using namespace wavetest;

namespace {

constexpr const char* kFolder = "sox-reference.tmp";

bool RunCommand(const std::string& command) {
    return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

// The samples of a wave's data: signed 16-bit, or 8-bit moved to signed.
std::vector<int> SamplesOf(TWave& wave) {
    const Bytes data = DataOf(wave);
    std::vector<int> samples;
    if (wave.FormatRecord()->wBitsPerSample == 8) {
        for (const std::uint8_t b : data)
            samples.push_back(b - 128);
    } else {
        for (const std::int16_t v : Values16(data))
            samples.push_back(v);
    }
    return samples;
}

TEST(SoxReference, RecordingFormatsConvertWithinOneStep) {
    if (!RunCommand("sox --version"))
        GTEST_SKIP() << "sox is not installed";
    std::filesystem::remove_all(kFolder);
    std::filesystem::create_directory(kFolder);
    const std::string folder = std::string(kFolder) + "/";
    // Sources as sox writes them: 24-bit and float as WAVE_FORMAT_EXTENSIBLE.
    const std::vector<std::pair<std::string, std::string>> sources = {
        {"int24", "-b 24"},
        {"int32", "-b 32"},
        {"float32", "-e floating-point -b 32"},
        {"float64", "-e floating-point -b 64"},
        {"int16x3", "-b 16 -c 3"},
        // Fewer channels from 8- and 16-bit PCM are averaged here too.
        {"int16", "-b 16"},
        {"int8", "-b 8"},
    };
    struct Target {
        TPCMFormat format;
        const char* soxOptions;
    };
    const Target targets[] = {
        {Stereo16bit44100Hz, "-b 16 -c 2"},
        {Mono16bit44100Hz, "-b 16 -c 1"},
        {Stereo8bit44100Hz, "-b 8 -c 2"},
        {Mono8bit44100Hz, "-b 8 -c 1"},
    };
    for (const auto& [name, options] : sources) {
        const std::string source = folder + name + ".wav";
        const std::string channels = options.find("-c") == std::string::npos ? " -c 2" : "";
        ASSERT_TRUE(RunCommand("sox -n -r 44100 " + options + channels + " " + source +
                               " synth 0.25 sine 300 sine 2017 vol 0.9"))
            << name;
        for (const Target& target : targets) {
            SCOPED_TRACE(name + " to " + target.soxOptions);
            const std::string reference = folder + "reference.wav";
            ASSERT_TRUE(RunCommand("sox -D " + source + " " + target.soxOptions + " " + reference));
            TWave expected;
            ASSERT_TRUE(expected.LoadFromFile(reference));
            TWave converted;
            ASSERT_TRUE(converted.LoadFromFile(source));
            ASSERT_TRUE(converted.ConvertToPCM(target.format));
            const WAVEFORMATEX pcm = Pcm(target.format);
            ASSERT_TRUE(expected.HasFormat(&pcm));
            const std::vector<int> ours = SamplesOf(converted);
            const std::vector<int> theirs = SamplesOf(expected);
            ASSERT_EQ(ours.size(), theirs.size());
            int worst = 0;
            for (std::size_t i = 0; i < ours.size(); ++i)
                worst = std::max(worst, std::abs(ours[i] - theirs[i]));
            EXPECT_LE(worst, 1);
        }
    }
    std::filesystem::remove_all(kFolder);
}

} // namespace
