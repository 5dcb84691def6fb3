#include <gtest/gtest.h>

#include "platform/Cp1251.h"

TEST(Cp1251, RoundTripsRussianThroughUtf8) {
    const std::string utf8 = "Не найден звуковой файл «ё» № 5";
    const std::string ansi = cp1251::FromUtf8(utf8);
    EXPECT_EQ(ansi.size(), 31u);
    EXPECT_EQ(static_cast<unsigned char>(ansi[0]), 0xCDu); // Н
    EXPECT_EQ(cp1251::ToUtf8(ansi), utf8);
}

TEST(Cp1251, LiteralMatchesRuntimeConversion) {
    EXPECT_EQ(std::string("Запись События"_w1251), cp1251::FromUtf8("Запись События"));
}

TEST(Cp1251, UnmappableAndMalformedInputBecomeReplacements) {
    EXPECT_EQ(cp1251::FromUtf8("a\xE2\x82"), "a??");      // truncated sequence
    EXPECT_EQ(cp1251::FromUtf8("\xF0\x9F\x98\x80"), "?"); // emoji has no byte
    EXPECT_EQ(cp1251::ToUtf8("\x98"), "\xEF\xBF\xBD");
}
