// The about box as a Win32 window.
#include <optional>
#include <span>

#include "ResourceNames.h"
#include "dialogs/JpegPicture.h"
#include "dialogs/Renderer.h"
#include "dialogs/win32/ControlIds.h"
#include "dialogs/win32/Win32Window.h"
#include "platform/Cp1251.h"

namespace win32 {
namespace {

constexpr UINT kMemoClicked = WM_APP + 1; // wParam: the memo's control ID
constexpr unsigned kLinkColour = 0x0000FF;
constexpr unsigned kGreyText = 0x808080;

const char* const kHelpCaption = "&Справка"_w1251;

// The picture of the left band, from the resources.
std::optional<Picture> LoadAboutPicture() {
    HINSTANCE module = ResourceModule();
    HRSRC found =
        FindResourceA(module, resources::kAboutPicture, MAKEINTRESOURCEA(10)); // RT_RCDATA
    if (found == nullptr)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return std::nullopt;
    return DecodeJpeg(std::span(static_cast<const uint8_t*>(data), SizeofResource(module, found)));
}

// A read-only memo tells the dialog when it is clicked.
LRESULT CALLBACK MemoProc(HWND memo, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(memo, GWLP_USERDATA));
    const LRESULT result = CallWindowProcA(original, memo, message, wParam, lParam);
    if (message == WM_LBUTTONUP)
        PostMessageA(GetParent(memo), kMemoClicked, static_cast<WPARAM>(GetDlgCtrlID(memo)), 0);
    return result;
}

class AboutBoxWindow final : public AboutBoxView, private ModalDialog {
public:
    explicit AboutBoxWindow(PluginAboutForm& form);
    ~AboutBoxWindow() override { Destroy(); }

    void FocusOK() override {
        SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(Handle(), IDOK)),
                     TRUE);
    }
    void Close() override { EndModal(IDOK); }
    void ShowModal() override { RunModal(); }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void OnKeyReleased(unsigned key) override { form_.KeyReleased(key); }
    void OnShowing() override { FocusOK(); }

    HWND Memo(const Rect& place, int id, const std::string& text);
    void OnPaint(HDC dc) const override;
    bool IsClickable(int id) const {
        return id == controls::kAboutWebsite || id == controls::kAboutEmail ||
               id == controls::kAboutHint || id == controls::kAboutThirdparty;
    }

    PluginAboutForm& form_;
    AboutLayout layout_;
    Font baseFont_{CreatePointFont("Tahoma", 8)};
    Font boldFont_{CreatePointFont("Tahoma", 8, kBold)};
    Font linkFont_{CreatePointFont("Tahoma", 8, kUnderline)};
    Font smallFont_{CreatePointFont("Tahoma", 7)};
    Font titleFont_{CreatePointFont("Tahoma", 14, kBold)};
    Font dateFont_{CreatePointFont("Tahoma", 10, kItalic)};
    Icon pluginIcon_{resources::kMainIcon, 32, 32};
    std::optional<Picture> picture_ = LoadAboutPicture();
};

AboutBoxWindow::AboutBoxWindow(PluginAboutForm& form) : form_(form), layout_(form.Layout()) {
    const AboutTexts& texts = form.Texts();
    Create(form.Caption(), layout_.client.width, layout_.client.height);
    HWND window = Handle();
    constexpr DWORD kLabel = SS_NOPREFIX;

    // OK first in the tab order; nothing else but Help takes the focus by Tab.
    CreateControl(window, "BUTTON", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, layout_.okButton, IDOK,
                  baseFont_.Get());
    CreateControl(window, "BUTTON", kHelpCaption, BS_PUSHBUTTON | WS_TABSTOP, 0, layout_.helpButton,
                  controls::kAboutHelpButton, baseFont_.Get());
    CreateControl(window, "STATIC", texts.website.c_str(), kLabel | SS_CENTER | SS_NOTIFY, 0,
                  layout_.website, controls::kAboutWebsite, linkFont_.Get());
    CreateControl(window, "STATIC", texts.email.c_str(), kLabel | SS_CENTER | SS_NOTIFY, 0,
                  layout_.email, controls::kAboutEmail, linkFont_.Get());
    CreateControl(window, "STATIC", texts.copyright.c_str(), kLabel | SS_CENTER, 0,
                  layout_.copyright, controls::kAboutCopyright, smallFont_.Get());
    CreateControl(window, "STATIC", form.NameVersion().c_str(), kLabel, 0, layout_.nameVersion,
                  controls::kAboutNameVersion, titleFont_.Get());
    CreateControl(window, "STATIC", texts.releaseDate.c_str(), kLabel, 0, layout_.releaseDate,
                  controls::kAboutReleaseDate, dateFont_.Get());
    Memo(layout_.hint, controls::kAboutHint, texts.description);
    if (layout_.creditShown) {
        CreateControl(window, "STATIC", kThirdpartyLabel, kLabel, 0, layout_.thirdpartyLabel,
                      controls::kAboutThirdpartyLabel, boldFont_.Get());
        Memo(layout_.thirdparty, controls::kAboutThirdparty, texts.credit);
    }
    // The group box last, so that it lies under the controls it frames.
    CreateControl(window, "BUTTON", "", BS_GROUPBOX, 0, layout_.group, controls::kAboutGroup,
                  boldFont_.Get());
    SendMessageA(window, DM_SETDEFID, IDOK, 0);
}

HWND AboutBoxWindow::Memo(const Rect& place, int id, const std::string& text) {
    HWND memo = CreateControl(Handle(), "EDIT", text.c_str(),
                              ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                              WS_EX_CLIENTEDGE, place, id, baseFont_.Get());
    SetWindowLongPtrA(memo, GWLP_USERDATA, GetWindowLongPtrA(memo, GWLP_WNDPROC));
    SetWindowLongPtrA(memo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MemoProc));
    return memo;
}

bool AboutBoxWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDOK || id == IDCANCEL) // Enter and Esc both close
            EndModal(IDOK);
        else if (id == controls::kAboutHelpButton && code == BN_CLICKED)
            form_.HelpClicked();
        else if (id == controls::kAboutWebsite && code == STN_CLICKED)
            form_.WebsiteClicked();
        else if (id == controls::kAboutEmail && code == STN_CLICKED)
            form_.EmailClicked();
        else
            return false;
        result = TRUE;
        return true;
    }
    case kMemoClicked:
        if (wParam == static_cast<WPARAM>(controls::kAboutHint))
            form_.HintClicked();
        else if (wParam == static_cast<WPARAM>(controls::kAboutThirdparty))
            form_.ThirdpartyClicked();
        result = TRUE;
        return true;
    case WM_SETCURSOR:
        if (IsClickable(GetDlgCtrlID(reinterpret_cast<HWND>(wParam)))) {
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
            SetWindowLongPtrA(Handle(), DWLP_MSGRESULT, TRUE);
            result = TRUE;
            return true;
        }
        return false;
    case WM_CTLCOLORSTATIC: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id == controls::kAboutHint || id == controls::kAboutThirdparty) {
            // The memos in the button face's colour.
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            return true;
        }
        COLORREF colour = RGB(0, 0, 0);
        if (id == controls::kAboutWebsite || id == controls::kAboutEmail)
            colour = Colour(kLinkColour);
        else if (id == controls::kAboutCopyright)
            colour = Colour(kGreyText);
        result = TransparentLabel(wParam, colour);
        return true;
    }
    default:
        return false;
    }
}

void AboutBoxWindow::OnPaint(HDC dc) const {
    RECT client{0, 0, layout_.client.width, layout_.client.height};
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RECT band{layout_.leftBand.left, layout_.leftBand.top, layout_.leftBand.Right(),
              layout_.leftBand.Bottom()};
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (picture_) {
        const PlacedPicture placed =
            FitProportionally(picture_->width, picture_->height, layout_.picture.left,
                              layout_.picture.top, layout_.picture.width, layout_.picture.height);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = picture_->width;
        info.bmiHeader.biHeight = -picture_->height; // rows from the top
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        SetStretchBltMode(dc, HALFTONE);
        StretchDIBits(dc, placed.left, placed.top, placed.width, placed.height, 0, 0,
                      picture_->width, picture_->height, picture_->pixels.data(), &info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
    pluginIcon_.Draw(dc, layout_.pluginIcon.left, layout_.pluginIcon.top);
}

} // namespace
} // namespace win32

std::unique_ptr<AboutBoxView> CreateAboutBoxWindow(PluginAboutForm& form) {
    return std::make_unique<win32::AboutBoxWindow>(form);
}
