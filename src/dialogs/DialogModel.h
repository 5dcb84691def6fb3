// The parameter dialogs as data. Every action with parameters has one
// dialog: the common base (title tab with the action's name, description box,
// plug-in icon and labels, OK, Cancel and Help) below a stack of parameter
// frames, one per parameter, frame i editing parameter i. A frame is a text
// field (caption, edit box, insert-variable button and, on file names, a
// file button) or a subroutine field (caption, editable drop-down list of the
// host project's subroutines, insert-variable button).
//
// Positions are pixels in client coordinates; texts are Windows-1251.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "host/Catalogue.h"

enum class FrameKind : uint8_t {
    Text,       // an edit box
    Subroutine, // an editable drop-down list filled with the host's subroutines
};

// What the file button of a text field opens (the button's Tag).
enum class FilesTag : int8_t {
    None = -1, // no file button
    OpenFile = 0,
    SaveFile = 1,
    Folder = 2,
};

// What a field holds, as far as the layout of a dialog family cares.
enum class FieldRole : uint8_t {
    Value,
    ObjectId, // the number of a player or recorder object
    Result,   // the variable that receives the action's result
};

// A named field: the same name has the same caption and meaning in every
// dialog that uses it.
struct FieldDesc {
    const char* name; // e.g. "ObjectIDFrame"
    const char* label;
    FrameKind kind = FrameKind::Text;
    FilesTag files = FilesTag::None;
    FieldRole role = FieldRole::Value;
};

// One frame placed in a dialog.
struct FramePlacement {
    FieldDesc field;
    int16_t left = 8;
    int16_t top = 0;
    int16_t width = 353;
    int16_t editWidth = 261; // the edit or combo box; the buttons follow it
};

// A stop of the tab order: a frame's field, or the button row.
inline constexpr int8_t kButtonsTabStop = -1;

struct DialogDesc {
    int32_t actionId = 0;
    int16_t clientHeight = 0; // the width is kEditFormWidth
    const char* captionSuffix = nullptr;
    const char* description = nullptr; // first line, and "\r\n" and a second where there is one
    int16_t titleWidth = 0;            // 0: as wide as the name needs
    std::array<FramePlacement, kMaxActionParams> frames{};
    std::size_t frameCount = 0;
    // Frame indexes and kButtonsTabStop (OK, Cancel, Help), in tab order.
    std::array<int8_t, kMaxActionParams + 1> tabOrder{};
    std::size_t tabStopCount = 0;

    std::span<const FramePlacement> Frames() const { return {frames.data(), frameCount}; }
    std::span<const int8_t> TabOrder() const { return {tabOrder.data(), tabStopCount}; }
};

inline constexpr int kEditFormWidth = 441;
inline constexpr int kFrameHeight = 62;
inline constexpr int kMinTitleWidth = 125;

// Below the frames, from the top: the title tab, 20 pixels above the
// description box (75 high), the bottom row 9 pixels under it with the plug-in
// icon (32 high), which ends 7 pixels above the client area's lower edge.
inline constexpr int kIconToBottom = 7;
inline constexpr int kIconSize = 32;
constexpr int BottomRowTop(int clientHeight) {
    return clientHeight - kIconToBottom - kIconSize;
}
constexpr int TitleTabTop(int clientHeight) {
    return BottomRowTop(clientHeight) - 9 - 75 - 20;
}

// The dialog of an action; null for actions without parameters and unknown IDs.
const DialogDesc* FindDialog(int32_t actionId);

// --- layout ---------------------------------------------------------------------

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
};

struct FrameLayout {
    Rect frame;
    Rect background;
    Rect label;
    Rect field; // the edit box, or the combo box's edit part
    Rect variablesButton;
    std::optional<Rect> separator;   // file fields only
    std::optional<Rect> filesButton; // file fields only
};

struct EditFormLayout {
    Rect client;
    std::array<FrameLayout, kMaxActionParams> frames{};
    std::size_t frameCount = 0;
    Rect titleTab;
    Rect titleGlyph;
    Rect actionName;
    Rect descriptionBox;
    Rect descriptionText;
    Rect pluginIcon;
    Rect pluginName;
    Rect copyright;
    Rect okButton;
    Rect cancelButton;
    Rect helpButton;

    std::span<const FrameLayout> Frames() const { return {frames.data(), frameCount}; }
};

// Where every part of the dialog lies. `nameTextWidth` is the width of the
// action's name in the title font, which only the renderer can measure; it
// sets the title tab's width where the description leaves it open.
EditFormLayout LayOutEditForm(const DialogDesc& desc, int nameTextWidth);
