// Windows-1251 <-> UTF-8. Texts crossing the plug-in boundary are
// Windows-1251 bytes; source files and the POSIX file system speak UTF-8.
// The `_w1251` literal converts a UTF-8 source literal while compiling, so
// Russian texts are written readably in the sources and never hand-escaped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cp1251 {

// Unicode code points of bytes 0x80..0xFF; 0 marks the one unassigned byte (0x98).
inline constexpr std::array<char16_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

inline constexpr char kReplacement = '?';

// The Windows-1251 byte of a code point, or kReplacement when it has none.
constexpr char FromCodePoint(char32_t cp) {
    if (cp < 0x80)
        return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHighHalf.size(); ++i)
        if (kHighHalf[i] != 0 && kHighHalf[i] == cp)
            return static_cast<char>(0x80 + i);
    return kReplacement;
}

// Decodes one UTF-8 sequence at `pos` (advancing it); malformed bytes decode
// to U+FFFD one byte at a time.
constexpr char32_t DecodeUtf8(std::string_view s, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    std::size_t extra = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
        ++pos;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    for (std::size_t i = 1; i <= extra; ++i) {
        if (pos + i >= s.size() || (byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    pos += extra + 1;
    return cp;
}

// UTF-8 text to Windows-1251 bytes; characters without a byte become '?'.
inline std::string FromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();)
        out.push_back(FromCodePoint(DecodeUtf8(utf8, pos)));
    return out;
}

// The lower-case form of a Windows-1251 byte (Latin and Cyrillic letters).
constexpr char ToLower(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const char16_t cp = kHighHalf[byte - 0x80];
    char16_t lower = cp;
    if (cp >= 0x0410 && cp <= 0x042F)
        lower = static_cast<char16_t>(cp + 0x20);
    else if (cp >= 0x0400 && cp <= 0x040F)
        lower = static_cast<char16_t>(cp + 0x50);
    else if (cp == 0x0490)
        lower = 0x0491;
    return lower == cp ? c : FromCodePoint(lower);
}

// Whether two Windows-1251 texts are equal without regard to letter case.
constexpr bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ToLower(a[i]) != ToLower(b[i]))
            return false;
    return true;
}

// Windows-1251 bytes to UTF-8 text; the unassigned byte 0x98 becomes U+FFFD.
inline std::string ToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() * 2);
    for (const char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        char32_t cp = b < 0x80 ? b : kHighHalf[b - 0x80];
        if (cp == 0 && b != 0)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// A UTF-8 string literal captured as a template argument.
template <std::size_t N>
struct Utf8Literal {
    char text[N]{};
    constexpr Utf8Literal(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i)
            text[i] = s[i];
    }
};

// The Windows-1251 form of a literal, zero-terminated, computed at compile time.
template <Utf8Literal S>
struct Converted {
    static constexpr auto kBytes = [] {
        std::array<char, sizeof(S.text)> out{};
        const std::string_view in(S.text, sizeof(S.text) - 1);
        std::size_t n = 0;
        for (std::size_t pos = 0; pos < in.size();)
            out[n++] = FromCodePoint(DecodeUtf8(in, pos));
        return out;
    }();
};

} // namespace cp1251

// "Текст"_w1251 is a `const char*` to the Windows-1251 bytes of the literal.
template <cp1251::Utf8Literal S>
constexpr const char* operator""_w1251() {
    return cp1251::Converted<S>::kBytes.data();
}
