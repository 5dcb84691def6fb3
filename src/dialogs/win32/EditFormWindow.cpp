// The action dialogs as Win32 windows, built from their descriptions.
#include <array>
#include <vector>

#include "PluginStrings.h"
#include "ResourceNames.h"
#include "dialogs/Renderer.h"
#include "dialogs/win32/ControlIds.h"
#include "dialogs/win32/FileDialogs.h"
#include "dialogs/win32/Win32Window.h"
#include "platform/Cp1251.h"

namespace win32 {
namespace {

// The look of the base dialog.
constexpr unsigned kTitleFill = 0xD6D6C7;
constexpr unsigned kTitleBorder = 0xCDCDBC;
constexpr unsigned kDescriptionFill = 0xFFFFE1;
constexpr unsigned kDescriptionBorder = 0xD0D0C1;
constexpr unsigned kFrameColour = 0xF0F0F0;
constexpr unsigned kGreyText = 0x808080;
constexpr int kComboListHeight = 8 * 14 + 2;

const char* const kHelpCaption = "&Справка"_w1251;
const char* const kCancelCaption = "&Отменить"_w1251;

class EditFormWindow final : public EditFormView, private ModalDialog {
public:
    explicit EditFormWindow(PluginActionEditForm& form);
    ~EditFormWindow() override { Destroy(); }

    std::string FieldText(std::size_t frame) const override { return WindowText(fields_[frame]); }
    void SetFieldText(std::size_t frame, const std::string& text) override {
        SetWindowTextA(fields_[frame], text.c_str());
    }
    void FocusField(std::size_t frame) override;
    void AddListItems(std::size_t frame, const std::vector<std::string>& items) override;
    std::optional<FileChoice> ChooseFiles(FilesTag kind) override {
        return RunFileDialog(Handle(), kind);
    }
    std::optional<std::string> ChooseFolder(const char* title) override {
        return RunFolderBrowser(title);
    }
    ModalResult ShowModal() override {
        return RunModal() == IDOK ? ModalResult::OK : ModalResult::Cancel;
    }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void OnKeyReleased(unsigned key) override { form_.KeyReleased(key); }
    void OnShowing() override { FocusField(0); }

    void CreateFrameField(std::size_t frame);
    void CreateButtons();
    void OnPaint(HDC dc) const override;
    void PaintFrame(HDC dc, std::size_t frame) const;
    void DrawSpeedButton(const DRAWITEMSTRUCT& item) const;

    PluginActionEditForm& form_;
    const DialogDesc& desc_;
    Font labelFont_{CreatePointFont("Arial", 9)};
    Font fieldFont_{CreatePointFont("Tahoma", 9)};
    Font baseFont_{CreatePointFont("Tahoma", 8)};
    Bitmap frameBackground_;
    Icon titleGlyph_{resources::kTitleGlyph, 17, 15};
    Icon pluginIcon_{resources::kMainIcon, 32, 32};
    Icon variablesGlyph_{resources::kVariablesGlyph, 16, 16};
    Icon filesGlyph_{resources::kFilesGlyph, 16, 16};
    EditFormLayout layout_;
    std::array<HWND, kMaxActionParams> fields_{};
};

EditFormWindow::EditFormWindow(PluginActionEditForm& form) : form_(form), desc_(form.Desc()) {
    frameBackground_ = static_cast<HBITMAP>(LoadImageA(
        ResourceModule(), resources::kFrameBackground, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    layout_ = LayOutEditForm(desc_, TextWidth(labelFont_.Get(), form.ActionName()));
    Create(form.Caption(), layout_.client.width, layout_.client.height);
    HWND window = Handle();

    // What is not in the tab order first; then the fields and the buttons in
    // tab order, which the dialog manager takes from the order of creation.
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
    for (std::size_t i = 0; i < desc_.frameCount; ++i) {
        const FrameLayout& frame = layout_.frames[i];
        const int n = static_cast<int>(i);
        CreateControl(window, "STATIC", desc_.frames[i].field.label, kLabel, 0, frame.label,
                      controls::FrameLabel(n), labelFont_.Get());
        CreateControl(window, "BUTTON", "", BS_OWNERDRAW, 0, frame.variablesButton,
                      controls::VariablesButton(n), nullptr);
        if (frame.filesButton)
            CreateControl(window, "BUTTON", "", BS_OWNERDRAW, 0, *frame.filesButton,
                          controls::FilesButton(n), nullptr);
    }
    CreateControl(window, "STATIC", form.ActionName(), kLabel, 0, layout_.actionName,
                  controls::kActionName, labelFont_.Get());
    CreateControl(window, "STATIC", desc_.description, kLabel, 0, layout_.descriptionText,
                  controls::kDescription, labelFont_.Get());
    const std::string pluginName = std::string(strings::kTitle) + " plugin";
    CreateControl(window, "STATIC", pluginName.c_str(), kLabel, 0, layout_.pluginName,
                  controls::kPluginName, baseFont_.Get());
    CreateControl(window, "STATIC", strings::kCopyright, kLabel, 0, layout_.copyright,
                  controls::kCopyright, baseFont_.Get());

    for (const int8_t stop : desc_.TabOrder()) {
        if (stop == kButtonsTabStop)
            CreateButtons();
        else
            CreateFrameField(static_cast<std::size_t>(stop));
    }
    SendMessageA(window, DM_SETDEFID, IDOK, 0);
}

void EditFormWindow::CreateFrameField(std::size_t frame) {
    const FrameLayout& place = layout_.frames[frame];
    const int id = controls::Field(static_cast<int>(frame));
    if (desc_.frames[frame].field.kind == FrameKind::Subroutine) {
        Rect box = place.field;
        box.height += kComboListHeight;
        HWND combo = CreateControl(Handle(), "COMBOBOX", "",
                                   CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, box,
                                   id, fieldFont_.Get());
        // The closed box as high as an edit box; the list's items 14 high.
        SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), place.field.height - 6);
        SendMessageA(combo, CB_SETITEMHEIGHT, 0, 14);
        fields_[frame] = combo;
    } else {
        fields_[frame] = CreateControl(Handle(), "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP,
                                       WS_EX_CLIENTEDGE, place.field, id, fieldFont_.Get());
    }
}

void EditFormWindow::CreateButtons() {
    CreateControl(Handle(), "BUTTON", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, layout_.okButton,
                  IDOK, baseFont_.Get());
    CreateControl(Handle(), "BUTTON", kCancelCaption, BS_PUSHBUTTON | WS_TABSTOP, 0,
                  layout_.cancelButton, IDCANCEL, baseFont_.Get());
    CreateControl(Handle(), "BUTTON", kHelpCaption, BS_PUSHBUTTON | WS_TABSTOP, 0,
                  layout_.helpButton, controls::kHelpButton, baseFont_.Get());
}

void EditFormWindow::FocusField(std::size_t frame) {
    HWND field = fields_[frame];
    SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    if (desc_.frames[frame].field.kind == FrameKind::Subroutine)
        SendMessageA(field, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    else
        SendMessageA(field, EM_SETSEL, 0, -1);
}

void EditFormWindow::AddListItems(std::size_t frame, const std::vector<std::string>& items) {
    for (const std::string& item : items)
        SendMessageA(fields_[frame], CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

bool EditFormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (HIWORD(wParam) != BN_CLICKED)
            return false;
        if (id == IDOK || id == IDCANCEL) {
            EndModal(id);
        } else if (id == controls::kHelpButton) {
            form_.HelpClicked();
        } else if (id >= controls::VariablesButton(0) &&
                   id < controls::VariablesButton(kMaxActionParams)) {
            form_.VariablesClicked(static_cast<std::size_t>(id - controls::VariablesButton(0)));
        } else if (id >= controls::FilesButton(0) && id < controls::FilesButton(kMaxActionParams)) {
            form_.FilesClicked(static_cast<std::size_t>(id - controls::FilesButton(0)));
        } else {
            return false;
        }
        result = TRUE;
        return true;
    }
    case WM_CTLCOLORSTATIC: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        const bool grey = id == controls::kPluginName || id == controls::kCopyright;
        result = TransparentLabel(wParam, grey ? Colour(kGreyText) : RGB(0, 0, 0));
        return true;
    }
    case WM_DRAWITEM:
        DrawSpeedButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    default:
        return false;
    }
}

void EditFormWindow::OnPaint(HDC dc) const {
    RECT client{0, 0, layout_.client.width, layout_.client.height};
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    for (std::size_t i = 0; i < desc_.frameCount; ++i)
        PaintFrame(dc, i);

    // The title tab, then the description box over its lower part.
    const Rect& tab = layout_.titleTab;
    PaintShape(dc, tab, Colour(kTitleFill), Colour(kTitleBorder), 3,
               std::min(tab.width, tab.height) / 4);
    PaintShape(dc, layout_.descriptionBox, Colour(kDescriptionFill), Colour(kDescriptionBorder), 2,
               0);
    titleGlyph_.Draw(dc, layout_.titleGlyph.left, layout_.titleGlyph.top);
    pluginIcon_.Draw(dc, layout_.pluginIcon.left, layout_.pluginIcon.top);
}

void EditFormWindow::PaintFrame(HDC dc, std::size_t frame) const {
    const FrameLayout& place = layout_.frames[frame];
    Brush colour(CreateSolidBrush(Colour(kFrameColour)));
    RECT area{place.frame.left, place.frame.top, place.frame.Right(), place.frame.Bottom()};
    FillRect(dc, &area, colour.Get());
    PaintFrameBackground(dc, frameBackground_.Get(), place.background);
    if (place.separator) {
        // A vertical groove between the variable button and the file button.
        const Rect& s = *place.separator;
        const int x = s.left + s.width / 2 - 1;
        GdiObject<HPEN> dark(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
        GdiObject<HPEN> light(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT)));
        HGDIOBJ old = SelectObject(dc, dark.Get());
        MoveToEx(dc, x, s.top + 2, nullptr);
        LineTo(dc, x, s.Bottom() - 2);
        SelectObject(dc, light.Get());
        MoveToEx(dc, x + 1, s.top + 2, nullptr);
        LineTo(dc, x + 1, s.Bottom() - 2);
        SelectObject(dc, old);
    }
}

void EditFormWindow::DrawSpeedButton(const DRAWITEMSTRUCT& item) const {
    const int id = static_cast<int>(item.CtlID);
    const bool files = id >= controls::FilesButton(0);
    const std::size_t frame = static_cast<std::size_t>(
        id - (files ? controls::FilesButton(0) : controls::VariablesButton(0)));
    if (frame >= desc_.frameCount)
        return;
    const Rect& place =
        files ? *layout_.frames[frame].filesButton : layout_.frames[frame].variablesButton;
    // The frame's background under the button, then its glyph.
    const int saved = SaveDC(item.hDC);
    SetViewportOrgEx(item.hDC, -place.left, -place.top, nullptr);
    IntersectClipRect(item.hDC, place.left, place.top, place.Right(), place.Bottom());
    PaintFrameBackground(item.hDC, frameBackground_.Get(), layout_.frames[frame].background);
    RestoreDC(item.hDC, saved);

    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    DrawEdge(item.hDC, &r, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    const Icon& glyph = files ? filesGlyph_ : variablesGlyph_;
    const int shift = pressed ? 1 : 0;
    glyph.Draw(item.hDC, (r.right - r.left - 16) / 2 + shift, (r.bottom - r.top - 16) / 2 + shift);
}

} // namespace
} // namespace win32

std::unique_ptr<EditFormView> CreateEditFormWindow(PluginActionEditForm& form) {
    return std::make_unique<win32::EditFormWindow>(form);
}
