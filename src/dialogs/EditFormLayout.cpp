// Where the parts of an action dialog lie. The frames come from the
// description; the title tab, the description box and the bottom row follow
// from the client height (DialogModel.h). They sit 3 pixels right of the base
// dialog's design; the buttons keep their places.
#include <algorithm>

#include "dialogs/DialogModel.h"

namespace {

constexpr int kBlockLeft = 11;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonSize = 27; // the speed buttons: 27 x 23
constexpr int kButtonHeightSmall = 23;
constexpr int kFieldLeft = 13;
constexpr int kFieldTop = 35;
constexpr int kFieldHeight = 22;
constexpr int kButtonGap = 6; // between the field and the insert-variable button

FrameLayout LayOutFrame(const FramePlacement& placement) {
    FrameLayout frame;
    const int x = placement.left;
    const int y = placement.top;
    frame.frame = {x, y, placement.width, kFrameHeight};
    frame.background = {x + 3, y + 3, placement.width - 7, 58};
    frame.label = {x + 12, y + 9, placement.width - 24, 16};
    frame.field = {x + kFieldLeft, y + kFieldTop, placement.editWidth, kFieldHeight};
    const int variablesLeft = frame.field.Right() + kButtonGap;
    frame.variablesButton = {variablesLeft, y + kFieldTop, kButtonSize, kButtonHeightSmall};
    if (placement.field.files != FilesTag::None) {
        frame.separator = Rect{variablesLeft + 33, y + 33, 4, 24};
        frame.filesButton =
            Rect{variablesLeft + 43, y + kFieldTop, kButtonSize, kButtonHeightSmall};
    }
    return frame;
}

} // namespace

EditFormLayout LayOutEditForm(const DialogDesc& desc, int nameTextWidth) {
    EditFormLayout layout;
    layout.client = {0, 0, kEditFormWidth, desc.clientHeight};
    for (const FramePlacement& placement : desc.Frames())
        layout.frames[layout.frameCount++] = LayOutFrame(placement);

    const int bottomRow = BottomRowTop(desc.clientHeight);
    const int titleTop = TitleTabTop(desc.clientHeight);
    const int titleWidth =
        desc.titleWidth > 0 ? desc.titleWidth : std::max(kMinTitleWidth, nameTextWidth + 24 + 12);
    layout.titleTab = {kBlockLeft, titleTop, titleWidth, 30};
    layout.titleGlyph = {kBlockLeft + 4, titleTop + 4, 17, 15};
    layout.actionName = {kBlockLeft + 24, titleTop + 4, titleWidth - 24 - 4, 15};
    layout.descriptionBox = {kBlockLeft, titleTop + 20, 422, 75};
    layout.descriptionText = {kBlockLeft + 9, titleTop + 30, 400, 59};
    layout.pluginIcon = {kBlockLeft, bottomRow, kIconSize, kIconSize};
    layout.pluginName = {kBlockLeft + 38, bottomRow, 145, 13};
    layout.copyright = {kBlockLeft + 38, bottomRow + 15, 145, 13};
    const int buttonTop = bottomRow + 3;
    layout.okButton = {198, buttonTop, kButtonWidth, kButtonHeight};
    layout.cancelButton = {278, buttonTop, kButtonWidth, kButtonHeight};
    layout.helpButton = {358, buttonTop, kButtonWidth, kButtonHeight};
    return layout;
}
