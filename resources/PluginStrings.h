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

} // namespace strings
