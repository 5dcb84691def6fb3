#include "platform/WaveDevices.h"

#include <cstdio>

namespace wavetest {

std::string ResultName(MMRESULT code) {
    static const char* const kSystem[] = {
        "MMSYSERR_NOERROR",    "MMSYSERR_ERROR",     "MMSYSERR_BADDEVICEID",
        "MMSYSERR_NOTENABLED", "MMSYSERR_ALLOCATED", "MMSYSERR_INVALHANDLE",
        "MMSYSERR_NODRIVER",   "MMSYSERR_NOMEM",     "MMSYSERR_NOTSUPPORTED",
        "MMSYSERR_BADERRNUM",  "MMSYSERR_INVALFLAG", "MMSYSERR_INVALPARAM",
        "MMSYSERR_HANDLEBUSY"};
    static const char* const kWave[] = {"WAVERR_BADFORMAT", "WAVERR_STILLPLAYING",
                                        "WAVERR_UNPREPARED", "WAVERR_SYNC"};
    const char* name = "unknown";
    if (code < sizeof kSystem / sizeof *kSystem)
        name = kSystem[code];
    else if (code >= WAVERR_BASE && code - WAVERR_BASE < sizeof kWave / sizeof *kWave)
        name = kWave[code - WAVERR_BASE];
    char text[64];
    std::snprintf(text, sizeof text, "%s (%u)", name, code);
    return text;
}

std::string FlagNames(DWORD flags) {
    static const struct {
        DWORD flag;
        const char* name;
    } kFlags[] = {{WHDR_DONE, "DONE"},
                  {WHDR_PREPARED, "PREPARED"},
                  {WHDR_BEGINLOOP, "BEGINLOOP"},
                  {WHDR_ENDLOOP, "ENDLOOP"},
                  {WHDR_INQUEUE, "INQUEUE"}};
    std::string text;
    for (const auto& f : kFlags) {
        if ((flags & f.flag) != 0) {
            text += text.empty() ? "" : "|";
            text += f.name;
            flags &= ~f.flag;
        }
    }
    if (flags != 0) {
        char rest[16];
        std::snprintf(rest, sizeof rest, "0x%lX", static_cast<unsigned long>(flags));
        text += text.empty() ? "" : "|";
        text += rest;
    }
    return text.empty() ? "0" : text;
}

std::string MessageName(UINT message) {
    switch (message) {
    case MM_WOM_OPEN:
        return "MM_WOM_OPEN";
    case MM_WOM_CLOSE:
        return "MM_WOM_CLOSE";
    case MM_WOM_DONE:
        return "MM_WOM_DONE";
    case MM_WIM_OPEN:
        return "MM_WIM_OPEN";
    case MM_WIM_CLOSE:
        return "MM_WIM_CLOSE";
    case MM_WIM_DATA:
        return "MM_WIM_DATA";
    default:
        return "message " + std::to_string(message);
    }
}

WAVEFORMATEX Pcm(DWORD rate, WORD bits, WORD channels) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Note::Describe() const {
    std::string text = MessageName(message);
    if (header != nullptr)
        text.append(" ").append(FlagNames(flags));
    if (threadMessage)
        text.append(" (thread)");
    return text;
}

namespace {
const char* const kClass = "TonvaldWaveTestReceiver";
} // namespace

Receiver::Receiver() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = kClass;
    RegisterClassA(&wc); // fails harmlessly once registered
    window_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, this);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue
}

Receiver::~Receiver() {
    DestroyWindow(window_);
    Drain();
}

LRESULT CALLBACK Receiver::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Receiver*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self != nullptr && message >= MM_WOM_OPEN && message <= MM_WIM_DATA) {
        self->Record(message, wParam, lParam, false);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Receiver::Record(UINT message, WPARAM wParam, LPARAM lParam, bool threadMessage) {
    Note note;
    note.message = message;
    note.wParam = wParam;
    note.header = reinterpret_cast<WAVEHDR*>(lParam);
    if (note.header != nullptr) {
        note.flags = note.header->dwFlags;
        note.recorded = note.header->dwBytesRecorded;
    }
    note.time = GetTickCount();
    note.threadMessage = threadMessage;
    notes.push_back(note);
    if (onNote)
        onNote(notes.back());
}

void Receiver::Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == nullptr && msg.message >= MM_WOM_OPEN && msg.message <= MM_WIM_DATA)
            Record(msg.message, msg.wParam, msg.lParam, true);
        else
            DispatchMessageA(&msg);
    }
}

bool Receiver::WaitFor(std::size_t count, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        Drain();
        if (notes.size() >= count)
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

void Receiver::PumpFor(DWORD milliseconds) {
    WaitFor(static_cast<std::size_t>(-1), milliseconds);
}

std::string Receiver::Transcript(const std::vector<WAVEHDR*>& headers) const {
    std::string text;
    for (const Note& note : notes) {
        text += text.empty() ? "" : ", ";
        text += MessageName(note.message);
        for (std::size_t i = 0; i < headers.size(); ++i)
            if (headers[i] == note.header)
                text += " h" + std::to_string(i);
    }
    return text;
}

Buffers::Buffers(std::size_t count, DWORD bytes, BYTE fill) : data_(count), headers_(count) {
    for (std::size_t i = 0; i < count; ++i) {
        data_[i].assign(bytes == 0 ? 1 : bytes, fill);
        headers_[i] = WAVEHDR{};
        headers_[i].lpData = reinterpret_cast<LPSTR>(data_[i].data());
        headers_[i].dwBufferLength = bytes;
    }
}

std::vector<WAVEHDR*> Buffers::Pointers() {
    std::vector<WAVEHDR*> pointers;
    for (WAVEHDR& header : headers_)
        pointers.push_back(&header);
    return pointers;
}

} // namespace wavetest
