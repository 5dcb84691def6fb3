// The simulated waveform devices' own promises, which only the POSIX
// platform can keep: exact timing on the virtual clock, the recorded signal,
// the device tables and fault injection of TONVALD_WAVE.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <list>
#include <thread>

#include "platform/Cp1251.h"
#include "platform/WaveDevices.h"
#include "platform/posix/WaveSim.h"

namespace {

using namespace wavetest;
namespace sim = posix::wavesim;

const WAVEFORMATEX kFormat = Pcm(8000, 8, 1); // 8000 bytes a second

class WaveSimTest : public ::testing::Test {
protected:
    void SetUp() override { Configure("clock=virtual"); }
    void TearDown() override {
        for (HWAVEOUT out : outs_) {
            waveOutReset(out);
            for (Buffers& buffers : buffers_)
                for (WAVEHDR* header : buffers.Pointers())
                    waveOutUnprepareHeader(out, header, sizeof(WAVEHDR));
            waveOutClose(out);
        }
        for (HWAVEIN in : ins_) {
            waveInReset(in);
            for (Buffers& buffers : buffers_)
                for (WAVEHDR* header : buffers.Pointers())
                    waveInUnprepareHeader(in, header, sizeof(WAVEHDR));
            waveInClose(in);
        }
        receiver.Drain();
        std::string error;
        EXPECT_TRUE(sim::Configure("", &error)) << error;
    }
    void Configure(const char* text) {
        std::string error;
        ASSERT_TRUE(sim::Configure(text, &error)) << error;
    }
    HWAVEOUT OpenOut(const WAVEFORMATEX& format = kFormat, UINT device = 0) {
        HWAVEOUT out = nullptr;
        EXPECT_MM(MMSYSERR_NOERROR, waveOutOpen(&out, device, &format, receiver.WindowCallback(), 0,
                                                CALLBACK_WINDOW));
        if (out != nullptr)
            outs_.push_back(out);
        return out;
    }
    HWAVEIN OpenIn(const WAVEFORMATEX& format, UINT device = 0) {
        HWAVEIN in = nullptr;
        EXPECT_MM(MMSYSERR_NOERROR,
                  waveInOpen(&in, device, &format, receiver.WindowCallback(), 0, CALLBACK_WINDOW));
        if (in != nullptr)
            ins_.push_back(in);
        return in;
    }
    // Prepared buffers that live until the devices are closed.
    Buffers& PreparedOut(HWAVEOUT out, std::size_t count, DWORD bytes) {
        Buffers& buffers = buffers_.emplace_back(count, bytes);
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_MM(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &buffers[i], sizeof(WAVEHDR)));
        return buffers;
    }
    Buffers& PreparedIn(HWAVEIN in, std::size_t count, DWORD bytes) {
        Buffers& buffers = buffers_.emplace_back(count, bytes);
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_MM(MMSYSERR_NOERROR, waveInPrepareHeader(in, &buffers[i], sizeof(WAVEHDR)));
        return buffers;
    }
    static DWORD Bytes(HWAVEOUT out) {
        MMTIME time{};
        time.wType = TIME_BYTES;
        EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPosition(out, &time, sizeof time));
        return time.u.cb;
    }
    static DWORD Bytes(HWAVEIN in) {
        MMTIME time{};
        time.wType = TIME_BYTES;
        EXPECT_MM(MMSYSERR_NOERROR, waveInGetPosition(in, &time, sizeof time));
        return time.u.cb;
    }
    // The arrival times of the notifications, from `start`.
    std::string Times(DWORD start) const {
        std::string text;
        for (const Note& note : receiver.notes)
            text += MessageName(note.message) + "@" + std::to_string(note.time - start) + " ";
        return text;
    }

    Receiver receiver;

private:
    std::list<Buffers> buffers_;
    std::vector<HWAVEOUT> outs_;
    std::vector<HWAVEIN> ins_;
};

TEST_F(WaveSimTest, TheVirtualClockMovesOnlyWhileTheHostWaits) {
    const DWORD start = GetTickCount();
    // Time spent outside the platform's waits does not move it; waiting does,
    // by exactly the wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(GetTickCount(), start);
    Sleep(1500);
    EXPECT_EQ(GetTickCount() - start, 1500u);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 250), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount() - start, 1750u);
    CloseHandle(event);
}

TEST_F(WaveSimTest, BuffersPlayForTheirDurationAndTheRunRepeatsExactly) {
    std::string first;
    for (int run = 0; run < 2; ++run) {
        receiver.notes.clear();
        HWAVEOUT out = OpenOut();
        Buffers& buffers = PreparedOut(out, 3, 800); // 100 ms each
        const DWORD start = GetTickCount();
        for (std::size_t i = 0; i < 3; ++i)
            ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
        ASSERT_TRUE(receiver.WaitFor(4));
        EXPECT_EQ(Times(start), "MM_WOM_OPEN@0 MM_WOM_DONE@100 MM_WOM_DONE@200 MM_WOM_DONE@300 ");
        EXPECT_EQ(Bytes(out), 2400u);
        if (run == 0)
            first = receiver.Transcript(buffers.Pointers());
        else
            EXPECT_EQ(receiver.Transcript(buffers.Pointers()), first);
    }
}

TEST_F(WaveSimTest, PauseRestartAndResetKeepThePositionRight) {
    HWAVEOUT out = OpenOut();
    Buffers& buffers = PreparedOut(out, 3, 800);
    const DWORD start = GetTickCount();
    for (std::size_t i = 0; i < 3; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    receiver.PumpFor(150);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutPause(out));
    EXPECT_EQ(Bytes(out), 1200u);
    receiver.PumpFor(1000);
    EXPECT_EQ(Bytes(out), 1200u);
    MMTIME samples{};
    samples.wType = TIME_SAMPLES;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPosition(out, &samples, sizeof samples));
    EXPECT_EQ(samples.u.sample, 1200u);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutRestart(out));
    ASSERT_TRUE(receiver.WaitFor(4));
    // h0 before the pause; the rest of h1 50 ms after the restart at 1150.
    EXPECT_EQ(Times(start), "MM_WOM_OPEN@0 MM_WOM_DONE@100 MM_WOM_DONE@1200 MM_WOM_DONE@1300 ");
    EXPECT_EQ(Bytes(out), 2400u);

    // The queue ran dry: the position stays until more is written.
    receiver.PumpFor(500);
    EXPECT_EQ(Bytes(out), 2400u);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    receiver.PumpFor(50);
    EXPECT_EQ(Bytes(out), 2800u);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutReset(out));
    EXPECT_EQ(Bytes(out), 0u);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    receiver.PumpFor(25);
    EXPECT_EQ(Bytes(out), 200u);
}

TEST_F(WaveSimTest, ALoopPlaysItsBuffersAgainAndReturnsThemOnce) {
    HWAVEOUT out = OpenOut();
    Buffers& buffers = PreparedOut(out, 2, 800);
    buffers[0].dwFlags |= WHDR_BEGINLOOP | WHDR_ENDLOOP;
    buffers[0].dwLoops = 3;
    const DWORD start = GetTickCount();
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[1], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(3));
    EXPECT_EQ(Times(start), "MM_WOM_OPEN@0 MM_WOM_DONE@300 MM_WOM_DONE@400 ");
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h1");
    EXPECT_EQ(Bytes(out), 3200u);

    // Breaking the loop lets its current pass finish, then playback goes on.
    receiver.notes.clear();
    const DWORD again = GetTickCount();
    buffers[0].dwLoops = 10;
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    receiver.PumpFor(150);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutBreakLoop(out));
    ASSERT_TRUE(receiver.WaitFor(1));
    EXPECT_EQ(Times(again), "MM_WOM_DONE@200 ");
}

TEST_F(WaveSimTest, PlaybackRatePitchAndVolumeFollowTheDeviceSupport) {
    Configure("clock=virtual; out=Full,support=0x0F; out=Mono volume,support=0x04");
    HWAVEOUT full = OpenOut(kFormat, 0);
    HWAVEOUT mono = OpenOut(kFormat, 1);
    DWORD value = 0;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetVolume(full, &value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutSetVolume(full, 0x40002000));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetVolume(full, &value));
    EXPECT_EQ(value, 0x40002000u);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutSetVolume(mono, 0x40002000));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetVolume(mono, &value));
    EXPECT_EQ(value, 0x2000u); // only the low word counts without left/right volume
    EXPECT_MM(MMSYSERR_NOTSUPPORTED, waveOutSetPitch(mono, 0x18000));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutSetPitch(full, 0x18000));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPitch(full, &value));
    EXPECT_EQ(value, 0x18000u);
    EXPECT_MM(MMSYSERR_INVALPARAM, waveOutSetPlaybackRate(full, 0));

    // Twice the rate: a 100 ms buffer plays in 50.
    EXPECT_MM(MMSYSERR_NOERROR, waveOutSetPlaybackRate(full, 0x20000));
    Buffers& buffers = PreparedOut(full, 2, 800);
    receiver.Drain();
    receiver.notes.clear();
    const DWORD start = GetTickCount();
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(full, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(full, &buffers[1], sizeof(WAVEHDR)));
    receiver.PumpFor(25);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutSetPlaybackRate(full, 0x10000)); // then normal again
    ASSERT_TRUE(receiver.WaitFor(2));
    EXPECT_EQ(Times(start), "MM_WOM_DONE@75 MM_WOM_DONE@175 ");
}

TEST_F(WaveSimTest, RecordingsHoldTheSignalWithNoFrameLostOrRepeated) {
    for (const WAVEFORMATEX& format : {Pcm(8000, 16, 2), Pcm(11025, 8, 1)}) {
        HWAVEIN in = OpenIn(format);
        const DWORD bytes =
            2 * format.nAvgBytesPerSec / 100 + format.nBlockAlign; // 20 ms and a bit
        Buffers& buffers = PreparedIn(in, 3, bytes);
        std::vector<BYTE> recorded;
        bool stopped = false;
        // Each buffer is taken and queued again from the handler, as the engine does.
        receiver.onNote = [&](const Note& note) {
            if (note.message != MM_WIM_DATA)
                return;
            recorded.insert(recorded.end(), note.header->lpData,
                            note.header->lpData + note.recorded);
            if (!stopped)
                waveInAddBuffer(in, note.header, sizeof(WAVEHDR));
        };
        for (std::size_t i = 0; i < 3; ++i)
            ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[i], sizeof(WAVEHDR)));
        ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
        receiver.PumpFor(1000);
        // A stop and a start go on with the next frame.
        ASSERT_MM(MMSYSERR_NOERROR, waveInStop(in));
        receiver.PumpFor(300);
        ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
        receiver.PumpFor(1000);
        stopped = true;
        const std::size_t captured = Bytes(in) / format.nBlockAlign;
        ASSERT_MM(MMSYSERR_NOERROR, waveInReset(in));
        receiver.Drain();

        // Every frame captured was recorded: two seconds, give or take the
        // fraction of a millisecond the pumping waits round to.
        const std::size_t frames = recorded.size() / format.nBlockAlign;
        EXPECT_EQ(frames, captured);
        EXPECT_NEAR(static_cast<double>(frames), 2.0 * format.nSamplesPerSec,
                    format.nSamplesPerSec / 500.0);
        std::size_t wrong = 0;
        for (std::size_t n = 0; n < frames; ++n) {
            for (unsigned c = 0; c < format.nChannels; ++c) {
                const BYTE* sample =
                    recorded.data() + n * format.nBlockAlign + c * (format.wBitsPerSample / 8);
                const int value = format.wBitsPerSample == 16
                                      ? static_cast<std::int16_t>(sample[0] | (sample[1] << 8))
                                      : sample[0];
                if (value != sim::SignalSample(format, n, c))
                    ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0u);
        receiver.onNote = nullptr;
        receiver.notes.clear();
    }
}

TEST_F(WaveSimTest, FramesCapturedWithNoBufferQueuedAreLost) {
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    HWAVEIN in = OpenIn(format);
    Buffers& buffers = PreparedIn(in, 1, 1600); // 100 ms
    ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
    receiver.PumpFor(100);
    EXPECT_EQ(Bytes(in), 1600u);
    ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(2));
    const auto* samples = reinterpret_cast<const std::int16_t*>(buffers[0].lpData);
    EXPECT_EQ(samples[0], sim::SignalSample(format, 800, 0)); // frames 0..799 had no buffer
    EXPECT_EQ(samples[799], sim::SignalSample(format, 1599, 0));
}

TEST_F(WaveSimTest, StopAndResetReturnPartlyFilledBuffersWithTheirBytes) {
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    HWAVEIN in = OpenIn(format);
    Buffers& buffers = PreparedIn(in, 3, 16000); // a second each
    for (std::size_t i = 0; i < 3; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[i], sizeof(WAVEHDR)));
    ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
    receiver.PumpFor(250);
    ASSERT_MM(MMSYSERR_NOERROR, waveInStop(in));
    EXPECT_FLAGS(WHDR_DONE | WHDR_PREPARED, buffers[0]);
    EXPECT_EQ(buffers[0].dwBytesRecorded, 4000u);
    EXPECT_FLAGS(WHDR_PREPARED | WHDR_INQUEUE, buffers[1]);
    // Stopped, nothing more is recorded; the position stays.
    receiver.PumpFor(5000);
    EXPECT_EQ(Bytes(in), 4000u);
    ASSERT_MM(MMSYSERR_NOERROR, waveInStart(in));
    receiver.PumpFor(100);
    ASSERT_MM(MMSYSERR_NOERROR, waveInReset(in));
    EXPECT_EQ(buffers[1].dwBytesRecorded, 1600u);
    EXPECT_EQ(buffers[2].dwBytesRecorded, 0u);
    EXPECT_FLAGS(WHDR_DONE | WHDR_PREPARED, buffers[2]);
    EXPECT_EQ(Bytes(in), 0u);
    receiver.Drain();
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WIM_OPEN, MM_WIM_DATA h0, MM_WIM_DATA h1, MM_WIM_DATA h2");
    // The reset stopped the device.
    ASSERT_MM(MMSYSERR_NOERROR, waveInAddBuffer(in, &buffers[0], sizeof(WAVEHDR)));
    receiver.PumpFor(2000);
    EXPECT_EQ(receiver.notes.size(), 4u);
}

TEST_F(WaveSimTest, ThreadModeIsDeterministicToo) {
    struct Context {
        DWORD threadId = 0;
        HANDLE ready = nullptr;
        std::vector<DWORD> doneTimes;
    } context;
    context.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A callback thread like the engine's: make the queue, then GetMessageA.
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* c = static_cast<Context*>(parameter);
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            SetEvent(c->ready);
            while (GetMessageA(&msg, nullptr, 0, 0) > 0)
                if (msg.message == MM_WOM_DONE)
                    c->doneTimes.push_back(GetTickCount());
            return 0;
        },
        &context, 0, &context.threadId);
    ASSERT_EQ(WaitForSingleObject(context.ready, INFINITE), WAIT_OBJECT_0);
    HWAVEOUT out = nullptr;
    ASSERT_MM(MMSYSERR_NOERROR,
              waveOutOpen(&out, 0, &kFormat, context.threadId, 0, CALLBACK_THREAD));
    Buffers buffers(2, 400);
    for (std::size_t i = 0; i < 2; ++i) {
        ASSERT_MM(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &buffers[i], sizeof(WAVEHDR)));
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    }
    const DWORD start = GetTickCount();
    Sleep(500);
    EXPECT_EQ(GetTickCount() - start, 500u);
    PostThreadMessageA(context.threadId, WM_QUIT, 0, 0);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(context.doneTimes.size(), 2u);
    EXPECT_EQ(context.doneTimes[0] - start, 50u);
    EXPECT_EQ(context.doneTimes[1] - start, 100u);
    for (std::size_t i = 0; i < 2; ++i)
        waveOutUnprepareHeader(out, &buffers[i], sizeof(WAVEHDR));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutClose(out));
    CloseHandle(thread);
    CloseHandle(context.ready);
}

TEST_F(WaveSimTest, AFaultAnswersItsCodeAndDoesNothingElse) {
    HWAVEOUT out = OpenOut();
    Buffers& buffers = PreparedOut(out, 3, 80);
    ASSERT_TRUE(sim::InjectFault("waveOutWrite:2:MMSYSERR_NOMEM"));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    EXPECT_MM(MMSYSERR_NOMEM, waveOutWrite(out, &buffers[1], sizeof(WAVEHDR)));
    EXPECT_FLAGS(WHDR_PREPARED, buffers[1]);
    EXPECT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[2], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(3));
    receiver.PumpFor(100);
    EXPECT_EQ(receiver.Transcript(buffers.Pointers()),
              "MM_WOM_OPEN, MM_WOM_DONE h0, MM_WOM_DONE h2");

    // From the Nth call on, and for a call that would have failed anyway.
    ASSERT_TRUE(sim::InjectFault("waveOutReset:1+:1"));
    EXPECT_MM(MMSYSERR_ERROR, waveOutReset(out));
    EXPECT_MM(MMSYSERR_ERROR, waveOutReset(nullptr));
    sim::ClearFaults();
    EXPECT_MM(MMSYSERR_NOERROR, waveOutReset(out));

    // A refused open opens nothing and posts nothing.
    ASSERT_TRUE(sim::InjectFault("waveOutOpen:1:WAVERR_BADFORMAT"));
    HWAVEOUT other = nullptr;
    receiver.notes.clear();
    EXPECT_MM(WAVERR_BADFORMAT,
              waveOutOpen(&other, 0, &kFormat, receiver.WindowCallback(), 0, CALLBACK_WINDOW));
    EXPECT_EQ(other, nullptr);
    receiver.PumpFor(100);
    EXPECT_EQ(receiver.notes.size(), 0u);
    EXPECT_EQ(sim::State().openDevices, 1u);

    std::string error;
    EXPECT_FALSE(sim::InjectFault("waveOutGetNumDevs:1:1", &error));
    EXPECT_NE(error.find("waveOutGetNumDevs"), std::string::npos);
    EXPECT_FALSE(sim::InjectFault("waveOutWrite:0:1", &error));
    EXPECT_FALSE(sim::InjectFault("waveOutWrite:1:NO_SUCH_CODE", &error));
}

TEST_F(WaveSimTest, FaultsOfTheConfigurationCountFromIt) {
    Configure("clock=virtual; fault=waveInOpen:2:MMSYSERR_ALLOCATED");
    const WAVEFORMATEX format = Pcm(8000, 16, 1);
    EXPECT_MM(MMSYSERR_NOERROR, waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_MM(MMSYSERR_ALLOCATED, waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_MM(MMSYSERR_NOERROR, waveInOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY));
}

TEST_F(WaveSimTest, TheDeviceTablesComeFromTheConfiguration) {
    Configure("out=Line out,formats=0x0F00,support=0x0C; out=Динамики; in=none; clock=virtual");
    EXPECT_EQ(waveOutGetNumDevs(), 2u);
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    WAVEOUTCAPSA caps;
    ASSERT_MM(MMSYSERR_NOERROR, waveOutGetDevCapsA(0, &caps, sizeof caps));
    EXPECT_STREQ(caps.szPname, "Line out");
    EXPECT_EQ(caps.dwFormats, 0x0F00u);
    EXPECT_EQ(caps.dwSupport, 0x0Cu);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutGetDevCapsA(1, &caps, sizeof caps));
    EXPECT_STREQ(caps.szPname, "Динамики"_w1251);
    EXPECT_EQ(caps.dwFormats, 0xFFFFu);
    EXPECT_EQ(caps.dwSupport, 0x2Cu);
    ASSERT_MM(MMSYSERR_NOERROR, waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps));
    EXPECT_EQ(caps.dwFormats, 0xFFFFu);
    EXPECT_EQ(caps.dwSupport, 0x0Cu);
    EXPECT_MM(MMSYSERR_BADDEVICEID, waveOutGetDevCapsA(2, &caps, sizeof caps));

    // A device takes only the flagged formats at the flagged rates.
    const WAVEFORMATEX mono11 = Pcm(11025, 8, 1);
    const WAVEFORMATEX stereo44 = Pcm(44100, 16, 2);
    const WAVEFORMATEX mono8k = Pcm(8000, 8, 1);
    EXPECT_MM(WAVERR_BADFORMAT, waveOutOpen(nullptr, 0, &mono11, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutOpen(nullptr, 0, &stereo44, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_MM(MMSYSERR_NOERROR, waveOutOpen(nullptr, 0, &mono8k, 0, 0, WAVE_FORMAT_QUERY));
    // The mapper takes the first device that takes the format.
    HWAVEOUT out = OpenOut(mono11, WAVE_MAPPER);
    ASSERT_MM(MMSYSERR_NOERROR,
              waveOutGetDevCapsA(reinterpret_cast<UINT_PTR>(out), &caps, sizeof caps));
    EXPECT_STREQ(caps.szPname, "Динамики"_w1251);
    UINT id = 0;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetID(out, &id));
    EXPECT_EQ(id, WAVE_MAPPER);
    // Opening needs every device closed first.
    std::string error;
    EXPECT_FALSE(sim::Configure("", &error));
    EXPECT_EQ(error, "a device is open");

    // No input devices: the mapper has nothing to open.
    EXPECT_MM(MMSYSERR_BADDEVICEID,
              waveInOpen(nullptr, WAVE_MAPPER, &mono8k, 0, 0, WAVE_FORMAT_QUERY));
    WAVEINCAPSA inCaps;
    EXPECT_MM(MMSYSERR_NOERROR, waveInGetDevCapsA(WAVE_MAPPER, &inCaps, sizeof inCaps));
}

TEST_F(WaveSimTest, ABadConfigurationIsRefusedWithItsReason) {
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"out=", "a device needs a name"},
        {"out=A,volume=1", "unknown device value \"volume\""},
        {"in=A,support=1", "unknown device value \"support\""},
        {"out=A,formats=zz", "not a number: \"zz\""},
        {"out=none;out=A", "\"none\" and devices of the same direction"},
        {"out=0123456789012345678901234567890123", "a device name has at most 31 bytes"},
        {"clock=slow", "clock is real, fast:N (1 to 10000) or virtual, not \"slow\""},
        {"clock=fast:0", "clock is real"},
        {"speakers", "unknown clause \"speakers\""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::Configure(c.text, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << c.text << ": " << error;
    }
    EXPECT_EQ(waveOutGetNumDevs(), 1u); // the configuration before stays
}

TEST_F(WaveSimTest, TheMapperDecodesWhatTheCompressionManagerDecodes) {
    // IMA ADPCM, 8000 Hz mono, 256-byte blocks of 505 samples.
    struct {
        WAVEFORMATEX format;
        WORD samplesPerBlock;
    } ima{};
    ima.format.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    ima.format.nChannels = 1;
    ima.format.nSamplesPerSec = 8000;
    ima.format.nBlockAlign = 256;
    ima.format.wBitsPerSample = 4;
    ima.format.cbSize = 2;
    ima.samplesPerBlock = 505;
    ima.format.nAvgBytesPerSec = 8000 * 256 / 505;
    EXPECT_MM(WAVERR_BADFORMAT, waveOutOpen(nullptr, 0, &ima.format, 0, 0, WAVE_FORMAT_QUERY));
    EXPECT_MM(WAVERR_BADFORMAT, waveOutOpen(nullptr, WAVE_MAPPER, &ima.format, 0, 0,
                                            WAVE_FORMAT_QUERY | WAVE_FORMAT_DIRECT));
    EXPECT_MM(WAVERR_BADFORMAT,
              waveInOpen(nullptr, WAVE_MAPPER, &ima.format, 0, 0, WAVE_FORMAT_QUERY));
    HWAVEOUT out = OpenOut(ima.format, WAVE_MAPPER);
    ASSERT_NE(out, nullptr);
    // Ten blocks: 5050 samples, 631.25 ms.
    Buffers& buffers = PreparedOut(out, 1, 2560);
    receiver.WaitFor(1);
    const DWORD start = GetTickCount();
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(2));
    EXPECT_NEAR(receiver.notes[1].time - start, 631.25, 1.0);
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    EXPECT_MM(MMSYSERR_NOERROR, waveOutGetPosition(out, &time, sizeof time));
    EXPECT_EQ(time.u.sample, 5050u);
}

TEST_F(WaveSimTest, TheDeviceThreadSleepsBetweenBuffers) {
    Configure("clock=real");
    HWAVEOUT out = OpenOut();
    Buffers& buffers = PreparedOut(out, 4, 400); // 50 ms each
    receiver.WaitFor(1);
    const std::uint64_t before = sim::State().wakeups;
    for (std::size_t i = 0; i < 4; ++i)
        ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[i], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(5));
    // One wake-up for each buffer done and each call that changed the plan,
    // with room for a few spurious ones.
    EXPECT_LE(sim::State().wakeups - before, 16u);
    EXPECT_EQ(sim::State().queuedHeaders, 0u);
}

TEST_F(WaveSimTest, AFastClockRunsEverythingFaster) {
    Configure("clock=fast:100");
    const DWORD start = GetTickCount();
    Sleep(2000);
    EXPECT_GE(GetTickCount() - start, 2000u);
    HWAVEOUT out = OpenOut();
    Buffers& buffers = PreparedOut(out, 1, 8000); // a second
    const DWORD written = GetTickCount();
    ASSERT_MM(MMSYSERR_NOERROR, waveOutWrite(out, &buffers[0], sizeof(WAVEHDR)));
    ASSERT_TRUE(receiver.WaitFor(2, 5000));
    EXPECT_GE(receiver.notes[1].time - written, 1000u);
}

} // namespace
