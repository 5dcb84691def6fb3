// What the Win32 windows of the dialogs share: a modal dialog window with its
// own message loop (key preview, help on F1 release, the owner disabled while
// it runs), fonts and pictures from the library's resources.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "dialogs/DialogModel.h"

namespace win32 {

// The module whose resources hold the pictures: the library, or the test
// program that links the dialogs' code.
HINSTANCE ResourceModule();

// A GDI object deleted with its owner.
template <class Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject& operator=(Handle handle) {
        Reset();
        handle_ = handle;
        return *this;
    }
    ~GdiObject() { Reset(); }
    Handle Get() const { return handle_; }

private:
    void Reset() {
        if (handle_ != nullptr)
            DeleteObject(handle_);
        handle_ = nullptr;
    }
    Handle handle_ = nullptr;
};
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;
using Brush = GdiObject<HBRUSH>;

// An icon from the resources, destroyed with its owner.
class Icon {
public:
    Icon(const char* name, int width, int height);
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;
    ~Icon();
    void Draw(HDC dc, int x, int y) const;

private:
    HICON icon_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

enum FontStyle { kRegular = 0, kBold = 1, kItalic = 2, kUnderline = 4 };
// A font of that face and size in points, at 96 pixels per inch.
HFONT CreatePointFont(const char* face, int points, int style = kRegular);

inline COLORREF Colour(unsigned rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A child control at a place of the client area.
HWND CreateControl(HWND parent, const char* className, const char* text, DWORD style, DWORD exStyle,
                   const Rect& place, int id, HFONT font);

// The width of a text in a font.
int TextWidth(HFONT font, const std::string& text);

// A window's text, in the ANSI code page.
std::string WindowText(HWND window);

// A fixed-size modal dialog window. A handler that throws ends the dialog
// with Cancel; RunModal then rethrows, outside the system's window
// procedures.
class ModalDialog {
public:
    ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;
    virtual ~ModalDialog();

    HWND Handle() const { return window_; }

protected:
    // Creates the hidden window, centred on the screen, with the window that
    // is active now as its owner.
    void Create(const std::string& caption, int clientWidth, int clientHeight);
    // Destroys the window; derived classes call it first in their destructor,
    // before the members its messages may use are gone.
    void Destroy();
    // Shows the window and runs its messages until EndModal; returns its code.
    int RunModal();
    void EndModal(int code);

    // A message for the window; true (with `result` set) when handled.
    // WM_PAINT and WM_ERASEBKGND go to OnPaint instead.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) = 0;
    // Paints the whole client area, under the controls.
    virtual void OnPaint(HDC dc) const = 0;
    // A key released anywhere in the window.
    virtual void OnKeyReleased(unsigned key) = 0;
    // The window is about to be shown: a chance to place the focus.
    virtual void OnShowing() = 0;

    // Runs a handler; an exception ends the dialog and is kept for RunModal.
    template <class F>
    void Guarded(F&& handler) {
        try {
            handler();
        } catch (...) {
            if (!failure_)
                failure_ = std::current_exception();
            EndModal(IDCANCEL);
        }
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool running_ = false;
    int result_ = IDCANCEL;
    std::exception_ptr failure_;
};

// Paints the parameter frames' background picture into a rectangle: its
// ends as they are, its middle stretched.
void PaintFrameBackground(HDC dc, HBITMAP picture, const Rect& place);

// A filled shape with a border of that width inside it; rounded with a corner
// of `corner` pixels, or a plain rectangle with 0.
void PaintShape(HDC dc, const Rect& place, COLORREF fill, COLORREF border, int borderWidth,
                int corner);

// The answer to WM_CTLCOLORSTATIC for a label that lies transparent on what
// the dialog paints.
INT_PTR TransparentLabel(WPARAM dc, COLORREF text);

} // namespace win32
