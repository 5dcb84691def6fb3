// The mmio functions over an I/O procedure of the test's own. Under Wine
// these run against winmm itself, so both builds must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace {

// A growable byte file served by an I/O procedure, logging its messages.
struct MemoryFile {
    std::string bytes;
    std::vector<UINT> messages;
    std::vector<LPARAM> seekOrigins;
};

LRESULT CALLBACK MemoryProc(LPSTR infoText, UINT message, LPARAM p1, LPARAM p2) {
    auto* info = reinterpret_cast<MMIOINFO*>(infoText);
    auto* file = reinterpret_cast<MemoryFile*>(static_cast<std::uintptr_t>(info->adwInfo[0]));
    file->messages.push_back(message);
    switch (message) {
    case MMIOM_OPEN:
        info->lDiskOffset = 0;
        return 0;
    case MMIOM_READ: {
        const auto at = static_cast<std::size_t>(info->lDiskOffset);
        const std::size_t n =
            at >= file->bytes.size()
                ? 0
                : std::min<std::size_t>(static_cast<std::size_t>(p2), file->bytes.size() - at);
        std::memcpy(reinterpret_cast<char*>(p1), file->bytes.data() + at, n);
        info->lDiskOffset += static_cast<LONG>(n);
        return static_cast<LRESULT>(n);
    }
    case MMIOM_WRITE:
    case MMIOM_WRITEFLUSH: {
        const auto at = static_cast<std::size_t>(info->lDiskOffset);
        if (file->bytes.size() < at + static_cast<std::size_t>(p2))
            file->bytes.resize(at + static_cast<std::size_t>(p2), '\0');
        file->bytes.replace(at, static_cast<std::size_t>(p2), reinterpret_cast<const char*>(p1),
                            static_cast<std::size_t>(p2));
        info->lDiskOffset += static_cast<LONG>(p2);
        return p2;
    }
    case MMIOM_SEEK: {
        file->seekOrigins.push_back(p2);
        LONG base = 0;
        if (p2 == SEEK_CUR)
            base = info->lDiskOffset;
        else if (p2 == SEEK_END)
            base = static_cast<LONG>(file->bytes.size());
        info->lDiskOffset = base + static_cast<LONG>(p1);
        return info->lDiskOffset;
    }
    default:
        return 0;
    }
}

HMMIO Open(MemoryFile& file) {
    MMIOINFO info;
    std::memset(&info, 0, sizeof info);
    info.pIOProc = MemoryProc;
    info.adwInfo[0] =
        static_cast<decltype(info.adwInfo[0] + 0)>(reinterpret_cast<std::uintptr_t>(&file));
    return mmioOpenA(nullptr, &info, MMIO_WRITE);
}

std::string Le32(DWORD v) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}

std::string ChunkBytes(const char* id, const std::string& contents) {
    std::string s = std::string(id, 4) + Le32(static_cast<DWORD>(contents.size())) + contents;
    if (contents.size() % 2)
        s += '\0';
    return s;
}

} // namespace

TEST(Mmio, FourCharacterCodesArePaddedWithBlanks) {
    EXPECT_EQ(mmioStringToFOURCCA("fmt", 0), mmioFOURCC('f', 'm', 't', ' '));
    EXPECT_EQ(mmioStringToFOURCCA("WAVE", 0), mmioFOURCC('W', 'A', 'V', 'E'));
    EXPECT_EQ(mmioStringToFOURCCA("WAVEFORM", 0), mmioFOURCC('W', 'A', 'V', 'E'));
    EXPECT_EQ(mmioStringToFOURCCA("", 0), mmioFOURCC(' ', ' ', ' ', ' '));
    EXPECT_EQ(mmioStringToFOURCCA("list", MMIO_TOUPPER), FOURCC_LIST);
    EXPECT_EQ(FOURCC_RIFF, 0x46464952u);
}

TEST(Mmio, OpenPassesTheInfoWordAndMessagesGoStraightToTheProcedure) {
    MemoryFile file;
    file.bytes = "abcdef";
    HMMIO h = Open(file);
    ASSERT_NE(h, nullptr);
    ASSERT_FALSE(file.messages.empty());
    EXPECT_EQ(file.messages.front(), static_cast<UINT>(MMIOM_OPEN));
    char buffer[8] = {};
    EXPECT_EQ(mmioRead(h, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(mmioSeek(h, -1, SEEK_CUR), 3);
    EXPECT_EQ(file.seekOrigins.back(), SEEK_CUR);
    EXPECT_EQ(mmioWrite(h, "XY", 2), 2);
    EXPECT_EQ(file.bytes, "abcXYf");
    EXPECT_EQ(mmioRead(h, buffer, 8), 1);
    EXPECT_EQ(mmioRead(h, buffer, 8), 0);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_END), 6);
    EXPECT_EQ(mmioClose(h, 0), 0u);
    EXPECT_EQ(file.messages.back(), static_cast<UINT>(MMIOM_CLOSE));
}

TEST(Mmio, CreateAndAscendWriteSizesAndPadOddChunks) {
    MemoryFile file;
    HMMIO h = Open(file);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), 0u);
    EXPECT_EQ(riff.ckid, FOURCC_RIFF);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(riff.dwFlags, static_cast<DWORD>(MMIO_DIRTY));

    MMCKINFO odd{};
    odd.ckid = mmioFOURCC('o', 'd', 'd', ' ');
    ASSERT_EQ(mmioCreateChunk(h, &odd, 0), 0u);
    EXPECT_EQ(odd.dwDataOffset, 20u);
    ASSERT_EQ(mmioWrite(h, "abc", 3), 3);
    ASSERT_EQ(mmioAscend(h, &odd, 0), 0u);
    EXPECT_EQ(odd.cksize, 3u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 24);

    MMCKINFO empty{};
    empty.ckid = mmioFOURCC('e', 'm', 'p', 't');
    ASSERT_EQ(mmioCreateChunk(h, &empty, 0), 0u);
    ASSERT_EQ(mmioAscend(h, &empty, 0), 0u);
    ASSERT_EQ(mmioAscend(h, &riff, 0), 0u);
    EXPECT_EQ(riff.cksize, 24u);
    mmioClose(h, 0);

    const std::string expected =
        "RIFF" + Le32(24) + "WAVE" + ChunkBytes("odd ", "abc") + ChunkBytes("empt", "");
    EXPECT_EQ(file.bytes, expected);
}

TEST(Mmio, DescendSearchesForwardAndRestoresThePositionWhenNothingIsFound) {
    MemoryFile file;
    const std::string list = "LIST" + Le32(8) + "INFOabcd";
    file.bytes = "RIFF" + Le32(0) + "WAVE" + ChunkBytes("junk", "12345") + list +
                 ChunkBytes("fmt ", "0123456789abcdef") + ChunkBytes("data", "xyz");
    const std::string size = Le32(static_cast<DWORD>(file.bytes.size() - 8));
    file.bytes.replace(4, 4, size);
    HMMIO h = Open(file);
    ASSERT_NE(h, nullptr);

    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('A', 'V', 'I', ' ');
    EXPECT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF),
              static_cast<MMRESULT>(MMIOERR_CHUNKNOTFOUND));
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 78); // where the data ran out
    mmioSeek(h, 0, SEEK_SET);

    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), 0u);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 12);

    MMCKINFO info{};
    info.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioDescend(h, &info, &riff, MMIO_FINDLIST), 0u);
    EXPECT_EQ(info.dwDataOffset, 34u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 38);
    ASSERT_EQ(mmioAscend(h, &info, 0), 0u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 42);

    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    ASSERT_EQ(mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(fmt.cksize, 16u);
    EXPECT_EQ(fmt.fccType, 0u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 50);

    // Searching for a chunk that is not there, from inside "fmt ".
    MMCKINFO missing{};
    missing.ckid = mmioFOURCC('n', 'o', 'n', 'e');
    EXPECT_EQ(mmioDescend(h, &missing, &riff, MMIO_FINDCHUNK),
              static_cast<MMRESULT>(MMIOERR_CHUNKNOTFOUND));
    // The "chunk" at 50 is format bytes whose size field skips far ahead.
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 58 + 0x37363534);

    mmioSeek(h, 66, SEEK_SET);
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioDescend(h, &data, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(data.cksize, 3u);
    EXPECT_EQ(data.dwDataOffset, 74u);

    // Outside the parent's contents nothing is searched.
    mmioSeek(h, 0, SEEK_END);
    EXPECT_EQ(mmioDescend(h, &data, &riff, MMIO_FINDCHUNK),
              static_cast<MMRESULT>(MMIOERR_CHUNKNOTFOUND));
    mmioClose(h, 0);
}
