// Help for the action dialogs and the about box. The compiled HTML help file
// is installed and registered outside the plug-in: its full path is the
// string value "HelpFile" under HKEY_CURRENT_USER\Software\Halden
// Morrow\Kestrava\duVoza. Its start page "index.html" holds one anchor per
// action name (the topic of that action's dialog) and the anchors "about" and
// "thirdparty" (the about box).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace help {

inline constexpr const char* kRegistryKey = "Software\\Halden Morrow\\Kestrava\\duVoza";
inline constexpr const char* kRegistryValue = "HelpFile";
inline constexpr const char* kStartPage = "index.html";
inline constexpr const char* kAboutTopic = "about";
inline constexpr const char* kThirdpartyTopic = "thirdparty";
inline constexpr const char* kMissingHelpText =
    "Missing help file: maybe you need a plugin reinstallation?";

} // namespace help

// The HTML Help address of a topic, "<help file>::\index.html#<topic>", when
// the registry names a help file that exists; nullopt otherwise. The registry
// key is only opened and read, never created.
std::optional<std::string> HelpTopicAddress(std::string_view topic);

// Shows the topic through HTML Help (hhctrl.ocx, loaded when first needed),
// with the active window as the caller. True when the viewer answered with a
// window; false when the help file is not registered or missing, or there is
// no viewer.
bool ShowHelpTopic(std::string_view topic);

// ShowHelpTopic, and when it fails the missing-help message through the host.
void ShowHelpOrComplain(std::string_view topic);
