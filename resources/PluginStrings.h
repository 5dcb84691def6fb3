// The plug-in's identity, as the host, the dialogs and the about box show it.
#pragma once

#include "platform/Cp1251.h"

namespace strings {

inline constexpr const char* kTitle = "duVoza";
inline constexpr const char* kDescription =
    "Воспроизведение и запись звуковых файлов в формате WAV."_w1251;
inline constexpr const char* kAuthor = "Marek Halvorsen";
inline constexpr const char* kVersion = "1.4";
inline constexpr const char* kReleaseDate = "12/07/2011";

// The maker's notice and links, in the dialogs and the about box.
inline constexpr const char* kCopyright = "© 2011 Marek Halvorsen"_w1251;
inline constexpr const char* kWebsite = "https://duvoza.example";
inline constexpr const char* kEmail = "mail@duvoza.example";
// The credit for outside components: the about box's picture is decoded with
// libjpeg-turbo, whose licences ask for this acknowledgement.
inline constexpr const char* kCredit =
    "libjpeg-turbo: © 2009-2023 D. R. Commander, © 2015 Viktor Szathmary. Эта программа "
    "частично основана на работе Independent JPEG Group (© 1991-2020 Thomas G. Lane, Guido "
    "Vollbeding)."_w1251;

} // namespace strings
