// A converted in-memory wave takes the converted block as its stream; its
// bytes must be exactly those the writing phase produces for the same data.
#include <gtest/gtest.h>

#include "wave/WaveBytes.h"

namespace {

using namespace wavetest;

// The file the writing phase makes of `data` in `format`.
Bytes WrittenFile(const WAVEFORMATEX& format, const Bytes& data) {
    TWave wave;
    EXPECT_TRUE(wave.StartWriting(&format));
    wave.WriteData(data.data(), static_cast<std::int32_t>(data.size()));
    EXPECT_TRUE(wave.StopWriting());
    return StreamBytes(wave);
}

TEST(ConvertLayout, TheConvertedFileIsWhatTheWritingPhaseWrites) {
    struct Case {
        TPCMFormat from, to;
        std::size_t frames;
    };
    const Case cases[] = {
        {Stereo16bit44100Hz, Mono8Bit8000Hz, 4411}, // odd data: no pad byte kept
        {Stereo16bit44100Hz, Stereo16bit48000Hz, 1000},
        {Mono8Bit8000Hz, Stereo16bit22050Hz, 333},
        {Stereo16bit44100Hz, Mono16bit22050Hz, 300001}, // a source in page memory
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        const WAVEFORMATEX from = Pcm(c.from);
        TWave wave;
        Load(wave, WaveFile(from, Ramp(c.frames * from.nBlockAlign, 3)));
        ASSERT_TRUE(wave.ConvertToPCM(c.to));
        const WAVEFORMATEX to = Pcm(c.to);
        ASSERT_TRUE(wave.HasFormat(&to));
        const Bytes data = DataOf(wave);
        EXPECT_GT(data.size(), 0u);
        EXPECT_EQ(StreamBytes(wave), WrittenFile(to, data));
        // The wave goes on working as any other: its data can be edited.
        EXPECT_TRUE(wave.Invert());
    }
}

TEST(ConvertLayout, AMemoryStreamAdoptsABlock) {
    TMemoryStream stream;
    stream.Write("old", 3);
    auto* block = static_cast<std::uint8_t*>(std::malloc(4));
    std::memcpy(block, "wave", 4);
    stream.Adopt(block, 4, 4);
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Memory(), block);
    stream.Seek(0, soEnd);
    stream.Write("!", 1); // grows the adopted block
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 5), "wave!");
}

} // namespace
