#include <gtest/gtest.h>

#include <vector>

#include "platform/Platform.h"
#include "wave/Streams.h"

TEST(Streams, MemoryStreamGrowsKeepsItsBytesAndZeroFillsGaps) {
    TMemoryStream s;
    EXPECT_EQ(s.Write("abc", 3), 3);
    EXPECT_EQ(s.Seek(5, soCurrent), 8);
    EXPECT_EQ(s.Write("z", 1), 1);
    ASSERT_EQ(s.Size(), 9);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 9),
              std::string("abc\0\0\0\0\0z", 9));

    // Across the size from which blocks become page memory.
    std::vector<std::uint8_t> chunk(300000);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<std::uint8_t>(i % 251);
    for (int i = 0; i < 10; ++i)
        s.WriteBuffer(chunk.data(), static_cast<std::int64_t>(chunk.size()));
    ASSERT_EQ(s.Size(), 9 + 3000000);
    EXPECT_EQ(s.Memory()[8], 'z');
    EXPECT_EQ(s.Memory()[9 + 2999999], chunk[299999]);
    EXPECT_GE(s.Capacity(), s.Size());

    s.SetSize(4);
    EXPECT_EQ(s.Position(), 4);
    s.SetSize(6);
    EXPECT_EQ(s.Memory()[4], 0);
    char buffer[8];
    s.SetPosition(2);
    EXPECT_EQ(s.Read(buffer, 8), 4);
    EXPECT_EQ(s.Read(buffer, 8), 0);
    EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
    EXPECT_THROW(s.ReadBuffer(buffer, 1), EReadError);
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Memory(), nullptr);
}

TEST(Streams, CopyFromMovesExactlyTheAskedBytes) {
    TMemoryStream source;
    source.Write("0123456789", 10);
    source.SetPosition(2);
    TMemoryStream target;
    target.Write("#", 1);
    EXPECT_EQ(target.CopyFrom(source, 5), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.Memory()), 6), "#23456");
    EXPECT_EQ(source.Position(), 7);
    EXPECT_THROW(target.CopyFrom(source, 4), EReadError);

    TMemoryStream loaded;
    loaded.Write("old contents", 12);
    source.SetPosition(6);
    loaded.LoadFrom(source);
    EXPECT_EQ(loaded.Size(), 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.Memory()), 4), "6789");
}

TEST(Streams, FileStreamsAndSafeSaves) {
    const std::string name = "engine-streams.bin";
    {
        TFileStream file(name, fmCreate);
        file.WriteBuffer("hello", 5);
        EXPECT_EQ(file.Size(), 5);
        file.SetSize(3);
        EXPECT_EQ(file.Position(), 3);
    }
    EXPECT_TRUE(FileExists(name));
    EXPECT_FALSE(FileExists("."));
    EXPECT_FALSE(FileExists(""));
    {
        // Until Commit the old file is untouched; without it nothing changes.
        TSafeFileStream save(name);
        save.WriteBuffer("replaced", 8);
        TMemoryStream old;
        old.LoadFromFile(name);
        EXPECT_EQ(old.Size(), 3);
        EXPECT_TRUE(FileExists(save.TempName()));
    }
    TMemoryStream check;
    check.LoadFromFile(name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(check.Memory()), 3), "hel");
    std::string temp;
    {
        TSafeFileStream save(name);
        temp = save.TempName();
        save.WriteBuffer("replaced", 8);
        save.Commit();
    }
    EXPECT_FALSE(FileExists(temp));
    check.LoadFromFile(name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(check.Memory()), 8), "replaced");
    EXPECT_TRUE(DeleteFileA(name.c_str()));

    EXPECT_THROW(TFileStream(name, fmOpenRead), EFOpenError);
    try {
        TSafeFileStream folder(".");
        FAIL() << "a folder was opened for saving";
    } catch (const EFCreateError& e) {
        EXPECT_STREQ(e.what(), "Cannot create file \".\": access denied");
    }
}
