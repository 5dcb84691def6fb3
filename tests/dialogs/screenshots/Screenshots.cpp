// Renders every action dialog and the about box into BMP files, with sample
// parameter texts: dialog_screenshots FOLDER. Run by scripts/screenshots on a
// virtual display.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "../win32/WindowDriver.h"
#include "dialogs/DialogModel.h"
#include "dialogs/PluginAboutForm.h"
#include "dialogs/PluginActionEditForm.h"
#include "host/Exports.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"

namespace {

// What an author might have typed into each field.
std::string SampleText(const std::string& field) {
    static const std::map<std::string, std::string> samples = {
        {"ObjectIDFrame", "1"},
        {"SubroutineFrame", "ПриУровне"_w1251},
        {"WavePathFrame", "C:\\Звуки\\запись.wav"_w1251},
        {"InWaveFrame", "C:\\Звуки\\запись.wav"_w1251},
        {"FirstWaveFrame", "C:\\Звуки\\начало.wav"_w1251},
        {"SecondWaveFrame", "C:\\Звуки\\конец.wav"_w1251},
        {"OutWaveFrame", "C:\\Звуки\\результат.wav"_w1251},
        {"OutputDeviceFrame", "Динамики"_w1251},
        {"InputDeviceFrame", "Микрофон"_w1251},
        {"PCMFormatFrame", "PCM: 44,100 kHz, 16 Bit, Stereo"},
        {"FormatFrame", "PCM: 22,050 kHz, 16 Bit, Mono"},
        {"PositionFrame", "1500"},
        {"GapFrame", "500"},
        {"PosFrame", "1000"},
        {"LengthFrame", "2500"},
        {"VolumeFrame", "80"},
        {"ObjectIDVarFrame", "[ID]"},
        {"ErrorVarFrame", "[Ошибка]"_w1251},
        {"LevelVarFrame", "[Уровень]"_w1251},
        {"PositionVarFrame", "[Позиция]"_w1251},
        {"OutputDeviceVarFrame", "[Устройство]"_w1251},
        {"InputDeviceVarFrame", "[Устройство]"_w1251},
        {"WaveLengthVarFrame", "[Длина]"_w1251},
        {"DevicesFrame", "[Устройства]"_w1251},
        {"PCMFormatsFrame", "[Форматы]"_w1251},
        {"DevicesCountFrame", "[Количество]"_w1251},
        {"PCMFormatsCountFrame", "[Количество]"_w1251},
        {"ResultVarFrame", "[Результат]"_w1251},
    };
    const auto found = samples.find(field);
    return found != samples.end() ? found->second : "[Переменная]"_w1251;
}

// The window as it shows on the screen, frame and caption included, as a
// 24-bit BMP file.
bool SaveWindow(HWND window, const std::string& path) {
    SetForegroundWindow(window);
    driver::WaitUntil([&] { return GetForegroundWindow() == window; }, 2000);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    bool saved = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                std::fwrite(bits, size, 1, out) == 1;
        saved = std::fclose(out) == 0 && saved;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// Waits for the dialog, saves it (unless the path is empty) and closes it;
// false when it never showed.
bool Capture(const std::string& caption, const std::string& path) {
    HWND dialog = driver::WaitForDialog(caption);
    if (dialog == nullptr)
        return false;
    const bool saved = path.empty() || SaveWindow(dialog, path);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: dialog_screenshots FOLDER\n", stderr);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "\\";
    FakeHost host;
    host.subroutineList = "ПриУровне\r\nПриОшибке\r\n"_w1251;
    const std::string aboutCaption = PluginAboutForm(PluginAboutTexts()).Caption();
    const auto showAbout = [] {
        nbAbout();
        return 0;
    };
    // Without a window manager the first window a process shows is not
    // activated; this one is not saved.
    driver::Drive([&] { Capture(aboutCaption, ""); }, showAbout);

    int failures = 0;
    for (int32_t id = 1; id <= kActionCount; ++id) {
        const DialogDesc* desc = FindDialog(id);
        if (desc == nullptr)
            continue;
        std::vector<std::string> texts;
        for (const FramePlacement& frame : desc->Frames())
            texts.push_back(SampleText(frame.field.name));
        HostParams params(texts);
        char name[64];
        std::snprintf(name, sizeof name, "%02d-%s.bmp", static_cast<int>(id), ActionName(id));
        bool captured = false;
        const std::string caption = PluginActionEditForm(*desc).Caption();
        driver::Drive([&] { captured = Capture(caption, folder + name); },
                      [&] { return nbEditAction(id, params.Slots(), params.LastIndex()); });
        if (!captured) {
            std::fprintf(stderr, "dialog_screenshots: no picture of %s\n", ActionName(id));
            ++failures;
        }
    }
    bool captured = false;
    driver::Drive([&] { captured = Capture(aboutCaption, folder + "about.bmp"); }, showAbout);
    if (!captured) {
        std::fputs("dialog_screenshots: no picture of the about box\n", stderr);
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
