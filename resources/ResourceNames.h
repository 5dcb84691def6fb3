// Names of the pictures in the library's resources (resources/Tonvald.rc).
#pragma once

namespace resources {

inline constexpr const char* kMainIcon = "MAINICON";               // 32 x 32 and 16 x 16
inline constexpr const char* kTitleGlyph = "TITLEGLYPH";           // icon, 17 x 15
inline constexpr const char* kVariablesGlyph = "VARIABLESGLYPH";   // icon, 16 x 16
inline constexpr const char* kFilesGlyph = "FILESGLYPH";           // icon, 16 x 16
inline constexpr const char* kFrameBackground = "FRAMEBACKGROUND"; // bitmap, ends 8 px wide
inline constexpr const char* kAboutPicture = "ABOUTPICTURE";       // JPEG, raw data
inline constexpr int kFrameBackgroundEnd = 8;

} // namespace resources
