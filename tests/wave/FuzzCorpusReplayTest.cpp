// Replays the wave fuzzer's corpus (tests/fuzz/corpus: the seeds and every
// input that once broke a rule) through the fuzzer's own body, so that each
// build, native and under Wine, checks them all again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/WaveFuzzBody.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(TV_FUZZ_CORPUS)))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(FuzzCorpusReplay, EveryInputKeepsTheRules) {
    const std::vector<fs::path> files = CorpusFiles();
    ASSERT_GE(files.size(), 10u) << "corpus not found at " << TV_FUZZ_CORPUS;
    for (const fs::path& file : files) {
        const std::vector<std::uint8_t> bytes = ReadAll(file);
        EXPECT_FALSE(bytes.empty()) << file.filename().string();
        EXPECT_EQ(RunWaveFuzzBody(bytes.data(), bytes.size()), "") << file.filename().string();
    }
}
