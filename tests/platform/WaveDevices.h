// Helpers of the waveform device tests: result codes and header flags by
// name, PCM formats, and a callback window or thread that records every
// device notification with the header's state when it arrived.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace wavetest {

std::string ResultName(MMRESULT code);
std::string FlagNames(DWORD flags);
std::string MessageName(UINT message);

// Compares result codes and prints both by name.
#define EXPECT_MM(expected, call)                                                                  \
    EXPECT_EQ(::wavetest::ResultName(expected), ::wavetest::ResultName(call))
#define ASSERT_MM(expected, call)                                                                  \
    ASSERT_EQ(::wavetest::ResultName(expected), ::wavetest::ResultName(call))
#define EXPECT_FLAGS(expected, header)                                                             \
    EXPECT_EQ(::wavetest::FlagNames(expected), ::wavetest::FlagNames((header).dwFlags))

WAVEFORMATEX Pcm(DWORD rate, WORD bits, WORD channels);

// True under Wine, whose winmm differs from Windows in a few places.
bool UnderWine();

// One notification as it arrived.
struct Note {
    UINT message = 0;
    WPARAM wParam = 0;
    WAVEHDR* header = nullptr; // lParam
    DWORD flags = 0;           // the header's flags on arrival
    DWORD recorded = 0;        // and its dwBytesRecorded
    DWORD time = 0;            // GetTickCount() on arrival
    bool threadMessage = false;
    std::string Describe() const;
};

// Receives notifications through a message-only window of the calling
// thread, or as thread messages of the calling thread. A handler may react
// to each (it runs inside the window procedure or the pump).
class Receiver {
public:
    Receiver();
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    HWND Window() const { return window_; }
    DWORD_PTR WindowCallback() const { return reinterpret_cast<DWORD_PTR>(window_); }
    DWORD_PTR ThreadCallback() const { return GetCurrentThreadId(); }

    // Dispatches messages until `count` notifications have arrived in all or
    // `milliseconds` have passed; true when they arrived.
    bool WaitFor(std::size_t count, DWORD milliseconds = 10000);
    // Dispatches whatever is queued now, without waiting.
    void Drain();
    // Dispatches messages for `milliseconds`.
    void PumpFor(DWORD milliseconds);
    // The messages seen, in order, as names ("MM_WOM_DONE h1").
    std::string Transcript(const std::vector<WAVEHDR*>& headers = {}) const;

    std::vector<Note> notes;
    // Called for every notification after it is recorded.
    std::function<void(const Note&)> onNote;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Record(UINT message, WPARAM wParam, LPARAM lParam, bool threadMessage);
    HWND window_ = nullptr;
};

// Prepared headers over buffers of their own.
class Buffers {
public:
    Buffers(std::size_t count, DWORD bytes, BYTE fill = 0);
    WAVEHDR& operator[](std::size_t i) { return headers_[i]; }
    std::vector<WAVEHDR*> Pointers();
    std::size_t size() const { return headers_.size(); }

private:
    std::vector<std::vector<BYTE>> data_;
    std::vector<WAVEHDR> headers_;
};

} // namespace wavetest
