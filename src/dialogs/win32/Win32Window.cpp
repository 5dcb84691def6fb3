#include "dialogs/win32/Win32Window.h"

#include <algorithm>
#include <stdexcept>

#include "ResourceNames.h"

namespace win32 {

HINSTANCE ResourceModule() {
    static const HINSTANCE module = [] {
        HMODULE found = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&ResourceModule), &found);
        return found;
    }();
    return module;
}

Icon::Icon(const char* name, int width, int height)
    : icon_(static_cast<HICON>(
          LoadImageA(ResourceModule(), name, IMAGE_ICON, width, height, LR_DEFAULTCOLOR))),
      width_(width), height_(height) {}

Icon::~Icon() {
    if (icon_ != nullptr)
        DestroyIcon(icon_);
}

void Icon::Draw(HDC dc, int x, int y) const {
    if (icon_ != nullptr)
        DrawIconEx(dc, x, y, icon_, width_, height_, 0, nullptr, DI_NORMAL);
}

HFONT CreatePointFont(const char* face, int points, int style) {
    return CreateFontA(-MulDiv(points, 96, 72), 0, 0, 0, (style & kBold) ? FW_BOLD : FW_NORMAL,
                       (style & kItalic) ? TRUE : FALSE, (style & kUnderline) ? TRUE : FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

HWND CreateControl(HWND parent, const char* className, const char* text, DWORD style, DWORD exStyle,
                   const Rect& place, int id, HFONT font) {
    HWND control = CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                                   place.left, place.top, place.width, place.height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ResourceModule(), nullptr);
    if (control == nullptr)
        throw std::runtime_error("The dialog's controls could not be created");
    if (font != nullptr)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

int TextWidth(HFONT font, const std::string& text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// --- the modal dialog ---------------------------------------------------------------

ModalDialog::~ModalDialog() {
    Destroy();
}

void ModalDialog::Destroy() {
    if (window_ == nullptr)
        return;
    // No message reaches the handlers from here on.
    SetWindowLongPtrA(window_, DWLP_USER, 0);
    DestroyWindow(window_);
    window_ = nullptr;
}

void ModalDialog::Create(const std::string& caption, int clientWidth, int clientHeight) {
    // An empty dialog template: the controls are made in pixels afterwards.
    alignas(DWORD) WORD templ[16] = {};
    auto* header = reinterpret_cast<DLGTEMPLATE*>(templ);
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
    header->dwExtendedStyle = WS_EX_DLGMODALFRAME;
    // Menu, class and title follow the header, all empty.
    window_ = CreateDialogIndirectParamA(ResourceModule(), header, GetActiveWindow(), &DialogProc,
                                         reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr)
        throw std::runtime_error("The dialog could not be created");
    SetWindowTextA(window_, caption.c_str());

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window_, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
    SetWindowPos(window_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int ModalDialog::RunModal() {
    HWND owner = GetWindow(window_, GW_OWNER);
    const bool disableOwner = owner != nullptr && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    OnShowing();
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    running_ = !failure_;
    MSG message{};
    while (running_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // The application is quitting: leave the quit for its own loop.
            PostQuitMessage(static_cast<int>(message.wParam));
            result_ = IDCANCEL;
            break;
        }
        if (got == -1) {
            result_ = IDCANCEL;
            break;
        }
        // Key preview: the dialog sees released keys before its controls.
        if (message.message == WM_KEYUP &&
            (message.hwnd == window_ || IsChild(window_, message.hwnd)))
            Guarded([&] { OnKeyReleased(static_cast<unsigned>(message.wParam)); });
        if (!running_)
            break;
        if (!IsDialogMessageA(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // The owner is enabled before the dialog hides, so that it is activated again.
    if (disableOwner)
        EnableWindow(owner, TRUE);
    ShowWindow(window_, SW_HIDE);
    if (failure_)
        std::rethrow_exception(failure_);
    return result_;
}

void ModalDialog::EndModal(int code) {
    result_ = code;
    running_ = false;
}

INT_PTR CALLBACK ModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<ModalDialog*>(lParam)->window_ = window;
        return FALSE; // the focus is placed before the window shows
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr)
        return FALSE;
    switch (message) {
    case WM_ACTIVATE:
        // Brought to the top of the Z order whenever it is activated.
        if (LOWORD(wParam) != WA_INACTIVE)
            SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return FALSE;
    case WM_CLOSE: // the close box
        self->EndModal(IDCANCEL);
        return TRUE;
    case WM_HELP: // F1 acts when it is released
        return TRUE;
    case WM_ERASEBKGND: // WM_PAINT paints everything
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        self->OnPaint(dc);
        EndPaint(window, &paint);
        return TRUE;
    }
    default:
        break;
    }
    INT_PTR result = 0;
    bool handled = false;
    self->Guarded([&] { handled = self->OnMessage(message, wParam, lParam, result); });
    return handled ? result : FALSE;
}

void PaintFrameBackground(HDC dc, HBITMAP picture, const Rect& place) {
    if (picture == nullptr)
        return;
    BITMAP info{};
    GetObjectA(picture, sizeof info, &info);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, picture);
    const int end = std::min<int>(resources::kFrameBackgroundEnd, info.bmWidth / 2);
    const int middle = info.bmWidth - 2 * end;
    SetStretchBltMode(dc, COLORONCOLOR);
    BitBlt(dc, place.left, place.top, end, place.height, source, 0, 0, SRCCOPY);
    StretchBlt(dc, place.left + end, place.top, place.width - 2 * end, place.height, source, end, 0,
               middle, info.bmHeight, SRCCOPY);
    BitBlt(dc, place.Right() - end, place.top, end, place.height, source, info.bmWidth - end, 0,
           SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

void PaintShape(HDC dc, const Rect& place, COLORREF fill, COLORREF border, int borderWidth,
                int corner) {
    Brush brush(CreateSolidBrush(fill));
    GdiObject<HPEN> pen(CreatePen(PS_INSIDEFRAME, borderWidth, border));
    HGDIOBJ oldBrush = SelectObject(dc, brush.Get());
    HGDIOBJ oldPen = SelectObject(dc, pen.Get());
    if (corner > 0)
        RoundRect(dc, place.left, place.top, place.Right(), place.Bottom(), corner, corner);
    else
        Rectangle(dc, place.left, place.top, place.Right(), place.Bottom());
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

INT_PTR TransparentLabel(WPARAM dc, COLORREF text) {
    SetBkMode(reinterpret_cast<HDC>(dc), TRANSPARENT);
    SetTextColor(reinterpret_cast<HDC>(dc), text);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

} // namespace win32
