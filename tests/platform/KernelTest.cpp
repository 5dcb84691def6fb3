#include "platform/Platform.h"

#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    struct Case {
        int number, numerator, denominator, result;
    };
    const Case cases[] = {
        {10, 3, 2, 15},   {1, 3, 2, 2}, // 1.5
        {-1, 3, 2, -2},                 // -1.5
        {1, -3, 2, -2},                 // -1.5
        {1, 3, -2, -2},                 // -1.5
        {-1, -3, -2, -2},               // -1.5
        {-1, -3, 2, 2},                 // 1.5
        {5, 1, 2, 3},                   // 2.5
        {-5, 1, 2, -3},                 // -2.5
        {5, 1, -2, -3},                 // -2.5
        {1, 1, 3, 0},                   // 0.33
        {2, 1, 3, 1},                   // 0.67
        {-2, 1, 3, -1},                 // -0.67
        {7, 0, 5, 0},     {0, -7, 5, 0}, {44100, 1000, 44100, 1000}, {176400, 1500, 1000, 264600},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << " * " << c.numerator << " / " << c.denominator;
}

TEST(MulDiv, UsesA64BitIntermediate) {
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(MulDiv(2000000000, 2000000000, 2000000000), 2000000000);
    EXPECT_EQ(MulDiv(1 << 30, 4, 8), 1 << 29);
    EXPECT_EQ(MulDiv(INT_MIN, 1, 2), -(1 << 30));
}

TEST(MulDiv, FailsWithMinusOneOnZeroDivisorOrOverflow) {
    struct Case {
        int number, numerator, denominator;
    };
    const Case cases[] = {
        {1, 1, 0},
        {0, 0, 0},
        {INT_MAX, 2, 1},
        {INT_MAX, INT_MAX, 1},
        {INT_MIN, -1, 1},
        {INT_MIN, 1, -1},
        {INT_MIN, 1, 1}, // -2147483648 lies outside the
                         // accepted range
        {1 << 30, -2, 1},
        {-INT_MAX, 2, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), -1)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    EXPECT_EQ(MulDiv(-INT_MAX, 1, 1), -INT_MAX);
}

TEST(GlobalAlloc, FixedBlocksAreUsableAndZeroInitWhenAsked) {
    for (const SIZE_T size : {SIZE_T{0}, SIZE_T{1}, SIZE_T{4096}}) {
        auto* zeroed = static_cast<unsigned char*>(GlobalAlloc(GPTR, size));
        ASSERT_NE(zeroed, nullptr);
        for (SIZE_T i = 0; i < size; ++i)
            ASSERT_EQ(zeroed[i], 0u);
        EXPECT_EQ(GlobalFree(zeroed), nullptr);

        auto* fixed = static_cast<char*>(GlobalAlloc(GMEM_FIXED, size + 6));
        ASSERT_NE(fixed, nullptr);
        std::memcpy(fixed + size, "block", 6);
        EXPECT_STREQ(fixed + size, "block");
        EXPECT_EQ(GlobalFree(fixed), nullptr);
    }
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section); // the owner may enter again
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    bool otherGotIn = true;
    std::thread([&] {
        otherGotIn = TryEnterCriticalSection(&section) != FALSE;
        if (otherGotIn)
            LeaveCriticalSection(&section);
    }).join();
    EXPECT_FALSE(otherGotIn);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);

    // Left as often as entered: free for everybody.
    std::thread([&] {
        otherGotIn = TryEnterCriticalSection(&section) != FALSE;
        if (otherGotIn)
            LeaveCriticalSection(&section);
    }).join();
    EXPECT_TRUE(otherGotIn);

    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&section);
            const long seen = counter;
            counter = seen + 1;
            LeaveCriticalSection(&section);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&section);
}

// The registry below HKEY_CURRENT_USER, written only by this test.
constexpr const char* kTestKey = "Software\\Tonvald Tests\\Kernel";

TEST(Registry, MissingKeysAndValuesAreNotFound) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tonvald Tests\\No Such Key", 0, KEY_READ, &key),
        ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
}

TEST(Registry, ReadsWhatWasWritten) {
    HKEY created = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &created, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const std::string path = "C:\\Help\\duVoza.chm";
    ASSERT_EQ(RegSetValueExA(created, "HelpFile", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>(path.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(created);

    // Paths and value names compare without regard to case.
    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tonvald tests\\KERNEL", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    DWORD type = REG_NONE;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "helpfile", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, path.size() + 1);

    char small[4] = {};
    size = sizeof(small);
    EXPECT_EQ(
        RegQueryValueExA(key, "HelpFile", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, path.size() + 1);

    char buffer[64] = {};
    size = sizeof(buffer);
    EXPECT_EQ(
        RegQueryValueExA(key, "HelpFile", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer), path);
    EXPECT_EQ(size, path.size() + 1);
    EXPECT_EQ(RegQueryValueExA(key, "Other", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    // A key with subkeys is not deleted; from the bottom up everything goes.
    EXPECT_NE(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tonvald Tests"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tonvald Tests"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, DeletedValuesAreGone) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char text[] = "x";
    ASSERT_EQ(RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Value"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, "Value"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey), ERROR_SUCCESS);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tonvald Tests");
}

} // namespace
