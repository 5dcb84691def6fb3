// The control IDs of the dialogs' windows, for the renderer and the tests
// that drive the real windows. IDOK (1) and IDCANCEL (2) are the OK and
// Cancel buttons.
#pragma once

namespace controls {

// Action dialogs: frame i's parts.
inline constexpr int Field(int frame) {
    return 1000 + frame;
} // edit box or combo box
inline constexpr int VariablesButton(int frame) {
    return 1100 + frame;
}
inline constexpr int FilesButton(int frame) {
    return 1200 + frame;
}
inline constexpr int FrameLabel(int frame) {
    return 1300 + frame;
}
inline constexpr int kActionName = 1400;
inline constexpr int kDescription = 1401;
inline constexpr int kPluginName = 1402;
inline constexpr int kCopyright = 1403;
inline constexpr int kHelpButton = 1404;

// About box; its OK button is IDOK.
inline constexpr int kAboutNameVersion = 1500;
inline constexpr int kAboutReleaseDate = 1501;
inline constexpr int kAboutHint = 1502;
inline constexpr int kAboutThirdpartyLabel = 1503;
inline constexpr int kAboutThirdparty = 1504;
inline constexpr int kAboutWebsite = 1505;
inline constexpr int kAboutEmail = 1506;
inline constexpr int kAboutCopyright = 1507;
inline constexpr int kAboutHelpButton = 1508;
inline constexpr int kAboutGroup = 1509;

} // namespace controls
