// The waveform devices as the engine drives them, in the manner of Wine's
// winmm conformance tests: the same source runs against Wine's winmm (on the
// ALSA null device, which plays faster than real time and records silence)
// and against the POSIX devices. Both must agree on results, order and
// header flags; timing and content are checked natively (WaveSimTest).
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <memory>

#include "platform/Cp1251.h"
#include "platform/WaveDevices.h"

namespace {

using namespace wavetest;

// 8 kHz, 8-bit mono: 80 bytes play for 10 ms.
const WAVEFORMATEX kFormat = Pcm(8000, 8, 1);
constexpr DWORD kBytes = 80;

class WaveOutTest : public ::testing::Test {
protected:
    void Open(UINT device = 0) {
        ASSERT_MM(MMSYSERR_NOERROR, waveOutOpen(&out, device, &kFormat, receiver.WindowCallback(),
                                                0, CALLBACK_WINDOW));
    }
    void Prepare(Buffers& buffers) {
        for (std::size_t i = 0; i < buffers.size(); ++i)
            ASSERT_MM(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &buffers[i], sizeof(WAVEHDR)));
    }
    // Buffers that live until the device is closed.
    Buffers& NewBuffers(std::size_t count, DWORD bytes) {
        return buffers_.emplace_back(count, bytes);
    }
    void TearDown() override {
        if (out != nullptr) {
            waveOutReset(out);
            receiver.Drain();
            for (Buffers& buffers : buffers_)
                for (WAVEHDR* header : buffers.Pointers())
                    waveOutUnprepareHeader(out, header, sizeof(WAVEHDR));
            waveOutClose(out);
            receiver.Drain();
        }
    }

    Receiver receiver;
    HWAVEOUT out = nullptr;

private:
    std::list<Buffers> buffers_;
};

TEST_F(WaveOutTest, OpenPostsOpenToTheWindowAndQueryOpensNothing) {
    HWAVEOUT untouched = reinterpret_cast<HWAVEOUT>(0x1234);
    EXPECT_MM(MMSYSERR_NOERROR,
              waveOutOpen(&untouched, WAVE_MAPPER, &kFormat, receiver.WindowCallback(), 0,
                          CALLBACK_WINDOW | WAVE_FORMAT_QUERY));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutOpen(nullptr, 0, &kFormat, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_EQ(untouched, reinterpret_cast<HWAVEOUT>(0x1234));
    // A PCM record may stop before cbSize.
    const auto record = std::make_unique<PCMWAVEFORMAT>();
    std::memcpy(record.get(), &kFormat, sizeof *record);
    EXPECT_MM(MMSYSERR_NOERROR,
              waveOutOpen(nullptr, 0, reinterpret_cast<LPCWAVEFORMATEX>(record.get()), 0, 0,
                          WAVE_FORMAT_QUERY));
    receiver.PumpFor(50);
    EXPECT_EQ(receiver.Transcript(), "");

    Open();
    // Posted, not sent: nothing arrives before the thread looks at its queue.
    EXPECT_EQ(receiver.notes.size(), 0u);
    ASSERT_TRUE(receiver.WaitFor(1));
    EXPECT_EQ(receiver.Transcript(), "MM_WOM_OPEN");
    EXPECT_EQ(receiver.notes[0].wParam, reinterpret_cast<WPARAM>(out));
    EXPECT_EQ(receiver.notes[0].header, nullptr);
    EXPECT_FALSE(receiver.notes[0].threadMessage);

    EXPECT_MM(MMSYSERR_NOERROR, waveOutClose(out));
    ASSERT_TRUE(receiver.WaitFor(2));
    EXPECT_EQ(receiver.Transcript(), "MM_WOM_OPEN, MM_WOM_CLOSE");
    EXPECT_EQ(receiver.notes[1].wParam, reinterpret_cast<WPARAM>(out));
    // The handle is gone.
    EXPECT_MM(MMSYSERR_INVALHANDLE, waveOutReset(out));
    EXPECT_MM(MMSYSERR_INVALHANDLE, waveOutClose(out));
    out = nullptr;
}

TEST_F(WaveOutTest, BadDeviceNumbersAndArguments) {
    const UINT count = waveOutGetNumDevs();
    ASSERT_GE(count, 1u);
    HWAVEOUT handle = nullptr;
    EXPECT_MM(MMSYSERR_BADDEVICEID, waveOutOpen(&handle, count, &kFormat, 0, 0, 0));
    EXPECT_MM(MMSYSERR_BADDEVICEID,
              waveOutOpen(nullptr, count + 5, &kFormat, 0, 0, WAVE_FORMAT_QUERY));
    WAVEOUTCAPSA caps;
    EXPECT_MM(MMSYSERR_BADDEVICEID, waveOutGetDevCapsA(count, &caps, sizeof caps));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutGetDevCapsA(0, nullptr, sizeof caps));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutOpen(nullptr, 0, &kFormat, 0, 0, 0));
    WAVEFORMATEX noRate = kFormat;
    noRate.nSamplesPerSec = 0;
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutOpen(nullptr, 0, &noRate, 0, 0, WAVE_FORMAT_QUERY));
    // A window that does not exist.
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutOpen(&handle, 0, &kFormat, 0x12345, 0, CALLBACK_WINDOW));
    EXPECT_MM(MMSYSERR_INVALHANDLE, waveOutReset(nullptr));
}

TEST_F(WaveOutTest, CapabilitiesOfTheMapperAndTheFirstDevice) {
    for (UINT device : {WAVE_MAPPER, 0u}) {
        WAVEOUTCAPSA caps;
        std::memset(&caps, 0x55, sizeof caps);
        ASSERT_MM(MMSYSERR_NOERROR, waveOutGetDevCapsA(device, &caps, sizeof caps));
        const std::size_t length = strnlen(caps.szPname, sizeof caps.szPname);
        EXPECT_GT(length, 0u);
        EXPECT_LT(length, sizeof caps.szPname);
        EXPECT_NE(caps.dwFormats & WAVE_FORMAT_4S16, 0u);
        EXPECT_NE(caps.dwSupport & WAVECAPS_VOLUME, 0u);
        EXPECT_EQ(caps.wChannels, 2);
    }
    // A short record takes only what fits.
    WAVEOUTCAPSA caps;
    std::memset(&caps, 0x55, sizeof caps);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetDevCapsA(0, &caps, 8));
    EXPECT_EQ(static_cast<unsigned char>(caps.szPname[0]), 0x55);
}

TEST_F(WaveOutTest, HeaderFlagsThroughPrepareWriteDoneAndUnprepare) {
    Open();
    Buffers& buffers = NewBuffers(2, kBytes);
    WAVEHDR& h = buffers[0];

    EXPECT_MM(WAVERR_UNPREPARED, waveOutWrite(out, &h, sizeof h));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutPrepareHeader(out, &h, sizeof h - 1));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutPrepareHeader(out, nullptr, sizeof h));
    h.dwFlags = WHDR_DONE;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &h, sizeof h));
    EXPECT_FLAGS(WHDR_PREPARED, h);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &h, sizeof h));
    EXPECT_FLAGS(WHDR_PREPARED, h);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &buffers[1], sizeof h));

    EXPECT_MM(MMSYSERR_NOERROR, waveOutPause(out));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &h, sizeof h));
    EXPECT_FLAGS(WHDR_PREPARED | WHDR_INQUEUE, h);
    EXPECT_MM(WAVERR_STILLPLAYING, waveOutWrite(out, &h, sizeof h));
    EXPECT_MM(WAVERR_STILLPLAYING, waveOutUnprepareHeader(out, &h, sizeof h));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[1], sizeof h));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutRestart(out));

    ASSERT_TRUE(receiver.WaitFor(3)) << receiver.Transcript();
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h1");
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(FlagNames(WHDR_DONE | WHDR_PREPARED), FlagNames(receiver.notes[i].flags));
        EXPECT_EQ(receiver.notes[i].wParam, reinterpret_cast<WPARAM>(out));
    }
    EXPECT_MM(MMSYSERR_NOERROR, waveOutUnprepareHeader(out, &h, sizeof h));
    EXPECT_FLAGS(WHDR_DONE, h);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutUnprepareHeader(out, &h, sizeof h));
    EXPECT_MM(WAVERR_UNPREPARED, waveOutWrite(out, &h, sizeof h));
}

TEST_F(WaveOutTest, ResetReturnsEveryQueuedBufferAtOnceAndEndsAPause) {
    Open();
    Buffers& buffers = NewBuffers(3, kBytes);
    Prepare(buffers);
    ASSERT_TRUE(receiver.WaitFor(1));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutPause(out));
    for (std::size_t i = 0; i < 3; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutReset(out));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_FLAGS(WHDR_DONE | WHDR_PREPARED, buffers[i]);
    MMTIME time{};
    time.wType = TIME_BYTES;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPosition(out, &time, sizeof time));
    EXPECT_EQ(time.u.cb, 0u);
    ASSERT_TRUE(receiver.WaitFor(4));
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h1, MM_WOM_DONE h2");

    // The device plays again at once: the reset ended the pause.
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(5)) << receiver.Transcript();
    EXPECT_EQ(receiver.notes[4].header, &buffers[0]);
}

TEST_F(WaveOutTest, ClosingWithBuffersQueuedIsRefused) {
    if (UnderWine())
        GTEST_SKIP() << "Wine's winmm closes with buffers queued; Windows refuses";
    Open();
    Buffers& buffers = NewBuffers(1, kBytes);
    Prepare(buffers);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutPause(out));
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    EXPECT_MM(WAVERR_STILLPLAYING, waveOutClose(out));
    EXPECT_FLAGS(WHDR_PREPARED | WHDR_INQUEUE, buffers[0]);
}

// What the engine does when stopping: reset and close from inside the
// handler of a "done" notification, while other buffers are queued.
TEST_F(WaveOutTest, ResetAndCloseFromInsideADoneHandler) {
    Open();
    Buffers& buffers = NewBuffers(3, kBytes);
    Prepare(buffers);
    MMRESULT reset = 99;
    MMRESULT close = 99;
    std::string flagsAfterReset;
    receiver.onNote = [&](const Note& note) {
        if (note.message != MM_WOM_DONE || note.header != &buffers[0])
            return;
        reset = waveOutReset(out);
        for (std::size_t i = 0; i < 3; ++i)
            flagsAfterReset += FlagNames(buffers[i].dwFlags) + " ";
        for (std::size_t i = 0; i < 3; ++i)
            waveOutUnprepareHeader(out, &buffers[i], sizeof(WAVEHDR));
        close = waveOutClose(out);
    };
    for (std::size_t i = 0; i < 3; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(5)) << receiver.Transcript();
    EXPECT_MM(MMSYSERR_NOERROR, reset);
    EXPECT_MM(MMSYSERR_NOERROR, close);
    EXPECT_EQ(flagsAfterReset, "DONE|PREPARED DONE|PREPARED DONE|PREPARED ");
    // The buffers the reset returned still arrive, and the close comes last.
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h1, MM_WOM_DONE h2, MM_WOM_CLOSE");
    out = nullptr;
}

TEST_F(WaveOutTest, ThreadCallbacksArriveAsThreadMessages) {
    ASSERT_MM(MMSYSERR_NOERROR, waveOutOpen(&out, WAVE_MAPPER, &kFormat, receiver.ThreadCallback(),
                                            0, CALLBACK_THREAD));
    Buffers& buffers = NewBuffers(2, kBytes);
    Prepare(buffers);
    for (std::size_t i = 0; i < 2; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(3)) << receiver.Transcript();
    for (std::size_t i = 0; i < 2; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutUnprepareHeader(out, &buffers[i], sizeof(WAVEHDR)));
    ASSERT_MM(MMSYSERR_NOERROR, waveOutClose(out));
    ASSERT_TRUE(receiver.WaitFor(4));
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h1, MM_WOM_CLOSE");
    for (const Note& note : receiver.notes) {
        EXPECT_TRUE(note.threadMessage) << note.Describe();
        EXPECT_EQ(note.wParam, reinterpret_cast<WPARAM>(out));
    }
    out = nullptr;
}

TEST_F(WaveOutTest, AnEventCallbackIsSetForEveryNotification) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutOpen(&out, 0, &kFormat, reinterpret_cast<DWORD_PTR>(event),
                                            0, CALLBACK_EVENT));
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    Buffers& buffers = NewBuffers(1, kBytes);
    Prepare(buffers);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_FLAGS(WHDR_DONE | WHDR_PREPARED, buffers[0]);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutUnprepareHeader(out, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_MM(MMSYSERR_NOERROR, waveOutClose(out));
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    out = nullptr;
    CloseHandle(event);
}

TEST_F(WaveOutTest, PositionsAnswerInBytesUnlessSamplesAreAsked) {
    Open();
    struct Case {
        UINT asked;
        UINT answered;
    } const cases[] = {{TIME_MS, TIME_BYTES},    {TIME_SAMPLES, TIME_SAMPLES},
                       {TIME_BYTES, TIME_BYTES}, {TIME_SMPTE, TIME_BYTES},
                       {TIME_MIDI, TIME_BYTES},  {TIME_TICKS, TIME_BYTES}};
    for (const Case& c : cases) {
        MMTIME time{};
        time.wType = c.asked;
        EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPosition(out, &time, sizeof time));
        EXPECT_EQ(time.wType, c.answered) << "asked " << c.asked;
    }
    MMTIME time{};
    EXPECT_MM(MMSYSERR_ERROR, waveOutGetPosition(out, &time, sizeof time - 1));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutGetPosition(out, nullptr, sizeof time));
}

TEST_F(WaveOutTest, ThePositionStandsWhilePausedAndAResetTakesItBackToZero) {
    Open();
    Buffers& buffers = NewBuffers(4, 800); // 100 ms each
    Prepare(buffers);
    ASSERT_TRUE(receiver.WaitFor(1));
    const auto bytes = [&] {
        MMTIME time{};
        time.wType = TIME_BYTES;
        EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPosition(out, &time, sizeof time));
        return time.u.cb;
    };
    EXPECT_EQ(bytes(), 0u);
    for (std::size_t i = 0; i < 4; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(2)) << receiver.Transcript();
    ASSERT_MM(MMSYSERR_NOERROR, waveOutPause(out));
    // Wine's position catches up with what its device had played a little
    // after the pause; from then on neither the position nor the queue moves.
    receiver.PumpFor(200);
    const DWORD paused = bytes();
    const std::size_t notes = receiver.notes.size();
    EXPECT_GE(paused, 800u);
    EXPECT_LT(paused, 3200u);
    receiver.PumpFor(300);
    EXPECT_EQ(bytes(), paused);
    EXPECT_EQ(receiver.notes.size(), notes);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutPause(out)); // paused already: nothing changes
    ASSERT_MM(MMSYSERR_NOERROR, waveOutRestart(out));
    ASSERT_TRUE(receiver.WaitFor(5)) << receiver.Transcript();
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h1, MM_WOM_DONE h2, MM_WOM_DONE h3");
    EXPECT_EQ(bytes(), 3200u);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutReset(out));
    EXPECT_EQ(bytes(), 0u);
}

TEST_F(WaveOutTest, ControlsFollowTheDeviceSupport) {
    Open();
    WAVEOUTCAPSA caps;
    ASSERT_MM(MMSYSERR_NOERROR, waveOutGetDevCapsA(0, &caps, sizeof caps));
    DWORD value = 0;
    const auto expected = [&](DWORD flag) {
        return (caps.dwSupport & flag) != 0 ? MMSYSERR_NOERROR : MMSYSERR_NOTSUPPORTED;
    };
    EXPECT_MM(expected(WAVECAPS_VOLUME), waveOutGetVolume(out, &value));
    EXPECT_MM(expected(WAVECAPS_VOLUME), waveOutSetVolume(out, 0x80008000));
    EXPECT_MM(expected(WAVECAPS_PITCH), waveOutGetPitch(out, &value));
    EXPECT_MM(expected(WAVECAPS_PITCH), waveOutSetPitch(out, 0x10000));
    EXPECT_MM(expected(WAVECAPS_PLAYBACKRATE), waveOutGetPlaybackRate(out, &value));
    EXPECT_MM(expected(WAVECAPS_PLAYBACKRATE), waveOutSetPlaybackRate(out, 0x10000));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutGetVolume(out, nullptr));
    UINT id = 99;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetID(out, &id));
    EXPECT_EQ(id, 0u);
}

TEST(WaveErrorTexts, EveryCodeHasTheSystemsTextAndUnknownCodesNone) {
    // The texts of a Russian Windows, which is what the tests run as.
    const struct {
        MMRESULT code;
        const char* text;
    } texts[] = {
        {MMSYSERR_NOERROR, "Нет ошибки."_w1251},
        {MMSYSERR_BADDEVICEID,
         "Используемый код устройства (device ID) выходит за допустимые пределы."_w1251},
        {MMSYSERR_NOMEM, "Не хватает памяти для задачи. Закройте одно или несколько приложений и "
                         "попробуйте заново."_w1251},
        {MMSYSERR_INVALPARAM, "Недопустимый параметр передан системной функции."_w1251},
        {WAVERR_STILLPLAYING,
         "Невозможно произвести операцию, пока устройство в режиме воспроизведения. Сбросьте "
         "устройство, или подождите пока устройство не окончит воспроизведение."_w1251},
    };
    for (const auto& t : texts) {
        char out[MAXERRORLENGTH];
        char in[MAXERRORLENGTH];
        ASSERT_MM(MMSYSERR_NOERROR, waveOutGetErrorTextA(t.code, out, sizeof out));
        ASSERT_MM(MMSYSERR_NOERROR, waveInGetErrorTextA(t.code, in, sizeof in));
        EXPECT_STREQ(out, t.text) << ResultName(t.code);
        EXPECT_STREQ(in, t.text) << ResultName(t.code);
    }
    for (MMRESULT code = 0; code <= 40; ++code) {
        char text[MAXERRORLENGTH] = "";
        const bool known =
            code <= MMSYSERR_INVALPARAM || (code >= WAVERR_BASE && code <= WAVERR_SYNC);
        EXPECT_MM(known ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM,
                  waveOutGetErrorTextA(code, text, sizeof text));
        EXPECT_EQ(known, text[0] != '\0') << ResultName(code);
    }
    // A short buffer takes the start of the text.
    char shortText[16];
    std::memset(shortText, 0x55, sizeof shortText);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetErrorTextA(MMSYSERR_BADDEVICEID, shortText, 10));
    EXPECT_EQ(std::string(shortText), std::string("Используемый код"_w1251, 9));
    EXPECT_EQ(static_cast<unsigned char>(shortText[10]), 0x55);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetErrorTextA(MMSYSERR_BADDEVICEID, shortText, 0));
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutGetErrorTextA(MMSYSERR_BADDEVICEID, nullptr, 10));
}

class WaveInTest : public ::testing::Test {
protected:
    void Open(const WAVEFORMATEX& format) {
        ASSERT_MM(MMSYSERR_NOERROR,
                  waveInOpen(&in, 0, &format, receiver.WindowCallback(), 0, CALLBACK_WINDOW));
    }
    Buffers& NewBuffers(std::size_t count, DWORD bytes) {
        return buffers_.emplace_back(count, bytes);
    }
    void TearDown() override {
        if (in != nullptr) {
            waveInReset(in);
            receiver.Drain();
            for (Buffers& buffers : buffers_)
                for (WAVEHDR* header : buffers.Pointers())
                    waveInUnprepareHeader(in, header, sizeof(WAVEHDR));
            waveInClose(in);
            receiver.Drain();
        }
    }
    Receiver receiver;
    HWAVEIN in = nullptr;

private:
    std::list<Buffers> buffers_;
};

TEST_F(WaveInTest, BuffersComeBackFilledInQueueOrder) {
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    Open(format);
    Buffers& buffers = NewBuffers(3, 160); // 10 ms each
    EXPECT_MM(WAVERR_UNPREPARED, waveInAddBuffer(in, &buffers[0], sizeof(WAVEHDR)));
    for (std::size_t i = 0; i < 3; ++i) {
        buffers[i].dwBytesRecorded = 77;
        ASSERT_MM(MMSYSERR_NOERROR, waveInPrepareHeader(in, &buffers[i], sizeof(WAVEHDR)));
        EXPECT_FLAGS(WHDR_PREPARED, buffers[i]);
        ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[i], sizeof(WAVEHDR)));
        EXPECT_FLAGS(WHDR_PREPARED | WHDR_INQUEUE, buffers[i]);
        EXPECT_EQ(buffers[i].dwBytesRecorded, 0u);
    }
    EXPECT_MM(WAVERR_STILLPLAYING, waveInUnprepareHeader(in, &buffers[0], sizeof(WAVEHDR)));
    EXPECT_MM(MMSYSERR_NOERROR, waveInStart(in));
    EXPECT_MM(MMSYSERR_NOERROR, waveInStart(in));
    ASSERT_TRUE(receiver.WaitFor(4)) << receiver.Transcript();
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WIM_OPEN, MM_WIM_DATA h0, MM_WIM_DATA h1, MM_WIM_DATA h2");
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(FlagNames(WHDR_DONE | WHDR_PREPARED), FlagNames(receiver.notes[i].flags));
        EXPECT_EQ(receiver.notes[i].recorded, 160u);
        EXPECT_EQ(receiver.notes[i].wParam, reinterpret_cast<WPARAM>(in));
    }
    EXPECT_MM(MMSYSERR_NOERROR, waveInStop(in));
    EXPECT_MM(MMSYSERR_NOERROR, waveInStop(in));
    MMTIME time{};
    time.wType = TIME_MS;
    EXPECT_MM(MMSYSERR_NOERROR, waveInGetPosition(in, &time, sizeof time));
    EXPECT_EQ(time.wType, static_cast<UINT>(TIME_BYTES));
    EXPECT_GE(time.u.cb, 480u);
}

TEST_F(WaveInTest, ResetAndCloseFromInsideADataHandler) {
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    Open(format);
    Buffers& buffers = NewBuffers(3, 800);
    MMRESULT reset = 99;
    MMRESULT close = 99;
    std::string flagsAfterReset;
    receiver.onNote = [&](const Note& note) {
        if (note.message != MM_WIM_DATA || note.header != &buffers[0])
            return;
        reset = waveInReset(in);
        for (std::size_t i = 0; i < 3; ++i)
            flagsAfterReset += FlagNames(buffers[i].dwFlags) + " ";
        for (std::size_t i = 0; i < 3; ++i)
            waveInUnprepareHeader(in, &buffers[i], sizeof(WAVEHDR));
        close = waveInClose(in);
    };
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_MM(MMSYSERR_NOERROR, waveInPrepareHeader(in, &buffers[i], sizeof(WAVEHDR)));
        ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[i], sizeof(WAVEHDR)));
    }
    ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
    ASSERT_TRUE(receiver.WaitFor(5)) << receiver.Transcript();
    EXPECT_MM(MMSYSERR_NOERROR, reset);
    EXPECT_MM(MMSYSERR_NOERROR, close);
    EXPECT_EQ(flagsAfterReset, "DONE|PREPARED DONE|PREPARED DONE|PREPARED ");
    // In queue order; Wine on a loaded machine was once seen to hand the
    // last two back the other way round.
    const std::string transcript = receiver.Transcript(buffers.Pointers());
    EXPECT_TRUE(
        transcript == "MM_WIM_OPEN, MM_WIM_DATA h0, MM_WIM_DATA h1, MM_WIM_DATA h2, MM_WIM_CLOSE" ||
        transcript == "MM_WIM_OPEN, MM_WIM_DATA h0, MM_WIM_DATA h2, MM_WIM_DATA h1, MM_WIM_CLOSE")
        << transcript;
    // The buffer being filled at the reset holds less than a full one.
    EXPECT_EQ(receiver.notes[1].recorded, 800u);
    EXPECT_LE(receiver.notes[2].recorded, 800u);
    in = nullptr;
}

TEST_F(WaveInTest, QueriesOpenNothingAndBadNumbersAndFormatsAreRefused) {
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    HWAVEIN untouched = reinterpret_cast<HWAVEIN>(0x1234);
    EXPECT_MM(MMSYSERR_NOERROR,
              waveInOpen(&untouched, WAVE_MAPPER, &format, receiver.WindowCallback(), 0,
                         CALLBACK_WINDOW | WAVE_FORMAT_QUERY));
    EXPECT_EQ(untouched, reinterpret_cast<HWAVEIN>(0x1234));
    EXPECT_MM(MMSYSERR_NOERROR, waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY));
    WAVEFORMATEX unknown = format;
    unknown.wFormatTag = 0x1234;
    EXPECT_MM(WAVERR_BADFORMAT, waveInOpen(nullptr, 0, &unknown, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_MM(WAVERR_BADFORMAT, waveInOpen(&in, WAVE_MAPPER, &unknown, receiver.WindowCallback(), 0,
                                           CALLBACK_WINDOW));
    EXPECT_EQ(in, nullptr);

    const UINT count = waveInGetNumDevs();
    ASSERT_GE(count, 1u);
    EXPECT_MM(MMSYSERR_BADDEVICEID,
              waveInOpen(&in, count, &format, receiver.WindowCallback(), 0, CALLBACK_WINDOW));
    EXPECT_MM(MMSYSERR_BADDEVICEID, waveInOpen(nullptr, count, &format, 0, 0, WAVE_FORMAT_QUERY));
    WAVEINCAPSA caps;
    EXPECT_MM(MMSYSERR_BADDEVICEID, waveInGetDevCapsA(count, &caps, sizeof caps));
    ASSERT_MM(MMSYSERR_NOERROR, waveInGetDevCapsA(0, &caps, sizeof caps));
    EXPECT_GT(strnlen(caps.szPname, sizeof caps.szPname), 0u);
    EXPECT_MM(MMSYSERR_INVALHANDLE, waveInStart(nullptr));
    receiver.PumpFor(50);
    EXPECT_EQ(receiver.Transcript(), "");
}

TEST_F(WaveInTest, ThePositionStandsWhileStoppedAndAResetTakesItBackToZero) {
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    Open(format);
    Buffers& buffers = NewBuffers(4, 1600); // 100 ms each
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_MM(MMSYSERR_NOERROR, waveInPrepareHeader(in, &buffers[i], sizeof(WAVEHDR)));
        ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[i], sizeof(WAVEHDR)));
    }
    const auto bytes = [&] {
        MMTIME time{};
        time.wType = TIME_BYTES;
        EXPECT_MM(MMSYSERR_NOERROR, waveInGetPosition(in, &time, sizeof time));
        return time.u.cb;
    };
    receiver.PumpFor(200); // not started: nothing is recorded
    EXPECT_EQ(bytes(), 0u);
    EXPECT_EQ(receiver.Transcript(), "MM_WIM_OPEN");
    ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
    ASSERT_TRUE(receiver.WaitFor(2)) << receiver.Transcript();
    ASSERT_MM(MMSYSERR_NOERROR, waveInStop(in));
    const DWORD stopped = bytes();
    EXPECT_GE(stopped, 1600u);
    receiver.PumpFor(300);
    EXPECT_EQ(bytes(), stopped);
    ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
    receiver.PumpFor(50);
    EXPECT_GT(bytes(), stopped);
    ASSERT_MM(MMSYSERR_NOERROR, waveInReset(in));
    EXPECT_EQ(bytes(), 0u);
    receiver.Drain();
    // Every buffer came back, each once, in queue order.
    std::string order;
    for (const Note& note : receiver.notes)
        order += note.message == MM_WIM_DATA ? "d" : "o";
    EXPECT_EQ(order, "odddd");
}

TEST_F(WaveInTest, ClosingWithBuffersQueuedIsRefused) {
    if (UnderWine())
        GTEST_SKIP() << "Wine's winmm closes with buffers queued; Windows refuses";
    Open(Pcm(8000, 16, 1));
    Buffers& buffers = NewBuffers(1, 160);
    ASSERT_MM(MMSYSERR_NOERROR, waveInPrepareHeader(in, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[0], sizeof(WAVEHDR)));
    EXPECT_MM(WAVERR_STILLPLAYING, waveInAddBuffer(in, &buffers[0], sizeof(WAVEHDR)));
    EXPECT_MM(WAVERR_STILLPLAYING, waveInClose(in));
}

} // namespace
