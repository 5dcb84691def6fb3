// The ANSI file functions. Under Wine these run against kernel32 itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Cp1251.h"
#include "platform/Platform.h"

namespace {

HANDLE Create(const std::string& name, DWORD disposition,
              DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(HANDLE h, const std::string& text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string ReadAll(const std::string& name) {
    HANDLE h = Create(name, OPEN_EXISTING, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    std::string text(256, '\0');
    DWORD read = 0;
    ReadFile(h, text.data(), 256, &read, nullptr);
    CloseHandle(h);
    text.resize(read);
    return text;
}

} // namespace

TEST(Files, CreateReadWriteSeekAndTruncate) {
    const std::string name = "engine-files-a.bin";
    DeleteFileA(name.c_str());
    HANDLE h = Create(name, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Write(h, "hello world"));
    EXPECT_EQ(GetFileSize(h, nullptr), 11u);
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    EXPECT_TRUE(Write(h, "W"));
    EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 9u);
    EXPECT_TRUE(SetEndOfFile(h));
    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, 9);
    LARGE_INTEGER move{};
    move.QuadPart = -4;
    LARGE_INTEGER at{};
    EXPECT_TRUE(SetFilePointerEx(h, move, &at, FILE_CURRENT));
    EXPECT_EQ(at.QuadPart, 5);
    move.QuadPart = -10;
    EXPECT_FALSE(SetFilePointerEx(h, move, &at, FILE_CURRENT));
    char buffer[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, buffer, 8, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), " Wor");
    EXPECT_TRUE(ReadFile(h, buffer, 8, &read, nullptr));
    EXPECT_EQ(read, 0u); // the end of the file is no error
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(ReadAll(name), "hello Wor");

    // A handle without the access is refused it, as a denied access.
    h = Create(name, OPEN_EXISTING, GENERIC_READ);
    EXPECT_FALSE(Write(h, "x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
    h = Create(name, OPEN_EXISTING, GENERIC_WRITE);
    EXPECT_FALSE(ReadFile(h, buffer, 8, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileA(name.c_str()));
}

TEST(Files, DispositionsAndTheirErrors) {
    const std::string name = "engine-files-b.bin";
    DeleteFileA(name.c_str());
    EXPECT_EQ(Create(name, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Create("engine-no-folder/x.bin", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    HANDLE h = Create(name, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    Write(h, "first");
    CloseHandle(h);
    EXPECT_EQ(Create(name, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    h = Create(name, CREATE_ALWAYS); // truncates, and says the file was there
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    CloseHandle(h);

    h = Create(name, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "ab");
    CloseHandle(h);
    EXPECT_EQ(ReadAll(name), "ab");
    EXPECT_TRUE(DeleteFileA(name.c_str()));
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Files, AttributesTellFilesFromFolders) {
    const std::string name = "engine-files-c.bin";
    HANDLE h = Create(name, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    const DWORD file = GetFileAttributesA(name.c_str());
    EXPECT_NE(file, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u);
    const DWORD folder = GetFileAttributesA(".");
    EXPECT_NE(folder, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(folder & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetFileAttributesA("engine-files-missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Create(".", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    DeleteFileA(name.c_str());
}

TEST(Files, NamesAreReadAsWindowsReadsThem) {
    // The last part of a name loses its trailing blanks and dots.
    const std::string name = "engine-files-e.bin";
    HANDLE h = Create(name + ". .", CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "e");
    CloseHandle(h);
    EXPECT_EQ(ReadAll(name), "e");
    EXPECT_NE(GetFileAttributesA((name + " ").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileA((name + ".").c_str()));
    EXPECT_EQ(GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES);

    // Letter case does not matter, in folders and in names, Cyrillic too;
    // a file made in a folder found that way keeps its own case.
    const std::string folder = "engine-files-Case";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string stored = folder + "\\Звук.wav"_w1251;
    h = Create(stored, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "c");
    CloseHandle(h);
    EXPECT_EQ(ReadAll("ENGINE-FILES-case\\зВУК.WAV"_w1251), "c");
    h = Create("engine-files-CASE\\New.wav", CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_NE(GetFileAttributesA((folder + "\\New.wav").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileA("engine-files-case\\NEW.WAV"));
    EXPECT_TRUE(DeleteFileA("engine-files-case\\звук.wav"_w1251));
    EXPECT_TRUE(std::filesystem::remove(folder)); // empty again

    // Characters no file name may hold make no file and find none.
    for (const char* bad : {"engine-files?.bin", "engine-files*.bin", "engine<files>.bin",
                            "engine|files.bin", "engine\"files.bin", "engine\tfiles.bin"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Create(bad, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
        EXPECT_EQ(GetFileAttributesA(bad), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
        EXPECT_FALSE(DeleteFileA(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    }
}

TEST(Files, MoveReplacesOnlyWhenAskedAndRussianNamesWork) {
    const std::string from = "engine-files-Звук.tmp"_w1251;
    const std::string to = "engine-files-Запись.wav"_w1251;
    HANDLE h = Create(from, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "new");
    CloseHandle(h);
    h = Create(to, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "old");
    CloseHandle(h);

    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadAll(to), "old");
    EXPECT_TRUE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadAll(to), "new");
    EXPECT_EQ(GetFileAttributesA(from.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(DeleteFileA(to.c_str()));
}

TEST(Files, PageMemoryIsZeroFilledAndReleasedWhole) {
    const SIZE_T size = SIZE_T{4} << 20;
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[size - 1], 0);
    block[size / 2] = 7;
    EXPECT_FALSE(VirtualFree(block, size, MEM_RELEASE)); // only whole regions, by size 0
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
}

TEST(Files, ShareModesDecideWhetherASecondHandleOpens) {
    const std::string name = "engine-files-share.bin";
    DeleteFileA(name.c_str());
    HANDLE keep = Create(name, CREATE_ALWAYS);
    ASSERT_NE(keep, INVALID_HANDLE_VALUE);
    Write(keep, "kept");
    CloseHandle(keep);
    constexpr DWORD R = GENERIC_READ;
    constexpr DWORD RW = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD SR = FILE_SHARE_READ;
    constexpr DWORD SRW = FILE_SHARE_READ | FILE_SHARE_WRITE;
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare, secondDisposition;
        bool opens;
    };
    const Case cases[] = {
        {R, SR, R, SR, OPEN_EXISTING, true},     // two readers
        {RW, SR, R, SR, OPEN_EXISTING, false},   // a reader must share the writer's writing
        {RW, SR, R, SRW, OPEN_EXISTING, true},   // ...and then it may read
        {R, SR, RW, SRW, OPEN_EXISTING, false},  // the reader does not share writing
        {R, 0, R, SRW, OPEN_EXISTING, false},    // an exclusive handle
        {R, SR, RW, SRW, CREATE_ALWAYS, false},  // a refused create truncates nothing
        {RW, SRW, RW, SRW, OPEN_EXISTING, true}, // both share everything
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        HANDLE first = CreateFileA(name.c_str(), c.firstAccess, c.firstShare, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = CreateFileA(name.c_str(), c.secondAccess, c.secondShare, nullptr,
                                    c.secondDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.opens);
        if (second != INVALID_HANDLE_VALUE)
            CloseHandle(second);
        else
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        CloseHandle(first);
        EXPECT_EQ(ReadAll(name), "kept");
    }
    // Once the handles are closed the file opens as anything again.
    HANDLE h = CreateFileA(name.c_str(), RW, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileA(name.c_str()));
}

// What an open handle shares also decides whether its file may be deleted,
// renamed away or replaced: a recording's file, open for writing and sharing
// reading only, survives a save aimed at it.
TEST(Files, OpenHandlesGuardTheirFileAgainstDeleteAndReplace) {
    const std::string name = "engine-files-guarded.bin";
    const std::string other = "engine-files-other.bin";
    for (const std::string& n : {name, other})
        DeleteFileA(n.c_str());
    HANDLE h = Create(other, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "other");
    CloseHandle(h);

    struct Case {
        DWORD share;
        bool deletes;
    };
    for (const Case c :
         {Case{FILE_SHARE_READ, false}, Case{FILE_SHARE_READ | FILE_SHARE_WRITE, false},
          Case{FILE_SHARE_READ | FILE_SHARE_DELETE, true}}) {
        SCOPED_TRACE(c.share);
        HANDLE open = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, c.share, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(open, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(Write(open, "recording"));

        // Replacing a file that is open fails, whatever the handle shares.
        EXPECT_FALSE(MoveFileExA(other.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(ReadAll(other), "other");

        // Deleting it, or renaming it away, needs the handle to share deleting.
        const std::string moved = name + ".moved";
        const BOOL renamed = MoveFileExA(name.c_str(), moved.c_str(), 0);
        EXPECT_EQ(renamed != FALSE, c.deletes);
        if (renamed) {
            EXPECT_TRUE(MoveFileExA(moved.c_str(), name.c_str(), 0));
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(GetFileAttributesA(moved.c_str()), INVALID_FILE_ATTRIBUTES);
        }
        if (!c.deletes) {
            EXPECT_FALSE(DeleteFileA(name.c_str()));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        CloseHandle(open);
        EXPECT_EQ(ReadAll(name).substr(0, 9), "recording");
    }
    // Closed, it is an ordinary file again.
    EXPECT_TRUE(MoveFileExA(other.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadAll(name), "other");
    EXPECT_TRUE(DeleteFileA(name.c_str()));
}
