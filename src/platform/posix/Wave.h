// Waveform audio (the waveOut and waveIn functions of winmm) for the POSIX
// platform: simulated devices with the documented Windows behaviour.
//
// Devices: device WAVE_MAPPER and a table of output and input devices (one of
// each unless TONVALD_WAVE says otherwise; see WaveSim.h). A device takes PCM
// with 8 or 16 bits, 1 or 2 channels and 8000 to 48000 Hz whose block
// alignment and byte rate agree with the rest; for 11025, 22050, 44100 and
// 48000 Hz only the formats its dwFormats names. Anything else answers
// WAVERR_BADFORMAT (a rate of 0: MMSYSERR_INVALPARAM). The output mapper
// opens the first device that takes the format and also plays what the
// audio compression manager decodes to PCM (IMA ADPCM, Microsoft ADPCM,
// A-law, mu-law), decoding each buffer as it is written.
//
// Time: one device thread plays and records against the platform's clock.
// An output buffer is done when its frames have played (a buffer of less than
// one frame at once); an input buffer when it is full. While an input device
// runs with no buffer queued, the frames it captures are lost. Recording
// captures a signal in which every frame can be told apart (WaveSim.h).
//
// Notifications go to the callback given to the open call: a window
// (CALLBACK_WINDOW, posted like PostMessageA), a thread (CALLBACK_THREAD,
// posted like PostThreadMessageA, dropped when the thread has no queue), an
// event (CALLBACK_EVENT, set) or nothing (CALLBACK_NULL); CALLBACK_FUNCTION
// is not offered (MMSYSERR_NOTSUPPORTED). wParam is the device handle; lParam
// the header for MM_WOM_DONE and MM_WIM_DATA, else 0. MM_WOM_OPEN/MM_WIM_OPEN
// are posted by the open call, MM_WOM_CLOSE/MM_WIM_CLOSE by the close call,
// and every buffer comes back once, in queue order, with WHDR_DONE set and
// WHDR_INQUEUE cleared (input buffers with dwBytesRecorded). While a header
// has WHDR_INQUEUE set it belongs to the device.
//
// Calls, as Windows and Wine's winmm answer them:
// - prepare sets WHDR_PREPARED and clears WHDR_DONE and WHDR_INQUEUE (an
//   already prepared header is left alone); unprepare clears WHDR_PREPARED
//   (WAVERR_STILLPLAYING while queued); a header size below sizeof(WAVEHDR)
//   is MMSYSERR_INVALPARAM;
// - write/add-buffer: WAVERR_UNPREPARED without WHDR_PREPARED or data,
//   WAVERR_STILLPLAYING while queued; add-buffer sets dwBytesRecorded to 0;
// - close: WAVERR_STILLPLAYING while buffers are queued;
// - waveOutReset returns every queued buffer at once, ends a pause and sets
//   the position to 0; waveInReset stops recording, returns every buffer
//   (the one being filled with what it holds) and sets the position to 0;
//   waveInStop returns the buffer being filled when it holds anything;
// - positions: TIME_SAMPLES in sample frames, any other type asked for is
//   answered in TIME_BYTES; a record smaller than MMTIME is MMSYSERR_ERROR;
// - volume (handles only), pitch and playback rate answer
//   MMSYSERR_NOTSUPPORTED unless dwSupport has the flag; without
//   WAVECAPS_LRVOLUME only the low word of a volume counts; a playback rate
//   changes how fast buffers play;
// - a handle that is not open (also one of the other direction) is
//   MMSYSERR_INVALHANDLE;
// - error texts are those of a Russian Windows (Windows-1251).
#pragma once

#include "platform/posix/Errors.h"
#include "platform/posix/MmReg.h"
#include "platform/posix/Types.h"

using HWAVEOUT = struct HWAVEOUT__*;
using HWAVEIN = struct HWAVEIN__*;
using LPHWAVEOUT = HWAVEOUT*;
using LPHWAVEIN = HWAVEIN*;
using MMVERSION = UINT;
using LPUINT = UINT*;

#define MAXPNAMELEN 32
#define MAXERRORLENGTH 256
#define WAVE_MAPPER (static_cast<UINT>(-1))

// waveOutOpen/waveInOpen flags.
#define WAVE_FORMAT_QUERY 0x0001
#define WAVE_ALLOWSYNC 0x0002
#define WAVE_MAPPED 0x0004
#define WAVE_FORMAT_DIRECT 0x0008
#define WAVE_FORMAT_DIRECT_QUERY (WAVE_FORMAT_QUERY | WAVE_FORMAT_DIRECT)
#define CALLBACK_TYPEMASK 0x00070000
#define CALLBACK_NULL 0x00000000
#define CALLBACK_WINDOW 0x00010000
#define CALLBACK_TASK 0x00020000
#define CALLBACK_FUNCTION 0x00030000
#define CALLBACK_THREAD CALLBACK_TASK
#define CALLBACK_EVENT 0x00050000

// Notifications.
#define MM_WOM_OPEN 0x3BB
#define MM_WOM_CLOSE 0x3BC
#define MM_WOM_DONE 0x3BD
#define MM_WIM_OPEN 0x3BE
#define MM_WIM_CLOSE 0x3BF
#define MM_WIM_DATA 0x3C0
#define WOM_OPEN MM_WOM_OPEN
#define WOM_CLOSE MM_WOM_CLOSE
#define WOM_DONE MM_WOM_DONE
#define WIM_OPEN MM_WIM_OPEN
#define WIM_CLOSE MM_WIM_CLOSE
#define WIM_DATA MM_WIM_DATA

// dwFormats of the capability records.
#define WAVE_INVALIDFORMAT 0x00000000
#define WAVE_FORMAT_1M08 0x00000001
#define WAVE_FORMAT_1S08 0x00000002
#define WAVE_FORMAT_1M16 0x00000004
#define WAVE_FORMAT_1S16 0x00000008
#define WAVE_FORMAT_2M08 0x00000010
#define WAVE_FORMAT_2S08 0x00000020
#define WAVE_FORMAT_2M16 0x00000040
#define WAVE_FORMAT_2S16 0x00000080
#define WAVE_FORMAT_4M08 0x00000100
#define WAVE_FORMAT_4S08 0x00000200
#define WAVE_FORMAT_4M16 0x00000400
#define WAVE_FORMAT_4S16 0x00000800
#define WAVE_FORMAT_44M08 WAVE_FORMAT_4M08
#define WAVE_FORMAT_44S08 WAVE_FORMAT_4S08
#define WAVE_FORMAT_44M16 WAVE_FORMAT_4M16
#define WAVE_FORMAT_44S16 WAVE_FORMAT_4S16
#define WAVE_FORMAT_48M08 0x00001000
#define WAVE_FORMAT_48S08 0x00002000
#define WAVE_FORMAT_48M16 0x00004000
#define WAVE_FORMAT_48S16 0x00008000
#define WAVE_FORMAT_96M08 0x00010000
#define WAVE_FORMAT_96S08 0x00020000
#define WAVE_FORMAT_96M16 0x00040000
#define WAVE_FORMAT_96S16 0x00080000

// dwSupport of the output capability record.
#define WAVECAPS_PITCH 0x0001
#define WAVECAPS_PLAYBACKRATE 0x0002
#define WAVECAPS_VOLUME 0x0004
#define WAVECAPS_LRVOLUME 0x0008
#define WAVECAPS_SYNC 0x0010
#define WAVECAPS_SAMPLEACCURATE 0x0020

// dwFlags of a header.
#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_BEGINLOOP 0x00000004
#define WHDR_ENDLOOP 0x00000008
#define WHDR_INQUEUE 0x00000010

// wType of a time record.
#define TIME_MS 0x0001
#define TIME_SAMPLES 0x0002
#define TIME_BYTES 0x0004
#define TIME_SMPTE 0x0008
#define TIME_MIDI 0x0010
#define TIME_TICKS 0x0020

// The records are packed to bytes, as mmsystem.h packs them: with 32-bit
// pointers WAVEHDR is 32 bytes (48 here), WAVEOUTCAPSA 52, WAVEINCAPSA 48 and
// MMTIME 12.
#pragma pack(push, 1)

struct wavehdr_tag {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    wavehdr_tag* lpNext;
    DWORD_PTR reserved;
};
using WAVEHDR = wavehdr_tag;
using PWAVEHDR = WAVEHDR*;
using LPWAVEHDR = WAVEHDR*;

struct WAVEOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
    DWORD dwSupport;
};
using PWAVEOUTCAPSA = WAVEOUTCAPSA*;
using LPWAVEOUTCAPSA = WAVEOUTCAPSA*;

struct WAVEINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
};
using PWAVEINCAPSA = WAVEINCAPSA*;
using LPWAVEINCAPSA = WAVEINCAPSA*;

struct mmtime_tag {
    UINT wType;
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;
        DWORD ticks;
        struct {
            BYTE hour;
            BYTE min;
            BYTE sec;
            BYTE frame;
            BYTE fps;
            BYTE dummy;
            BYTE pad[2];
        } smpte;
        struct {
            DWORD songptrpos;
        } midi;
    } u;
};
using MMTIME = mmtime_tag;
using PMMTIME = MMTIME*;
using LPMMTIME = MMTIME*;

#pragma pack(pop)

static_assert(sizeof(void*) != 4 || sizeof(WAVEHDR) == 32);
static_assert(sizeof(WAVEOUTCAPSA) == 52);
static_assert(sizeof(WAVEINCAPSA) == 48);
static_assert(sizeof(MMTIME) == 12);

extern "C" {

// --- output ---------------------------------------------------------------------
UINT waveOutGetNumDevs();
// uDeviceID may also be an open output handle. Copies at most cbwoc bytes.
MMRESULT waveOutGetDevCapsA(UINT_PTR uDeviceID, LPWAVEOUTCAPSA pwoc, UINT cbwoc);
MMRESULT waveOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);
MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveOutClose(HWAVEOUT hwo);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveOutPause(HWAVEOUT hwo);
MMRESULT waveOutRestart(HWAVEOUT hwo);
MMRESULT waveOutReset(HWAVEOUT hwo);
// The loop being played ends after its current pass.
MMRESULT waveOutBreakLoop(HWAVEOUT hwo);
MMRESULT waveOutGetPosition(HWAVEOUT hwo, LPMMTIME pmmt, UINT cbmmt);
MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume);
MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume);
MMRESULT waveOutGetPitch(HWAVEOUT hwo, LPDWORD pdwPitch);
MMRESULT waveOutSetPitch(HWAVEOUT hwo, DWORD dwPitch);
MMRESULT waveOutGetPlaybackRate(HWAVEOUT hwo, LPDWORD pdwRate);
MMRESULT waveOutSetPlaybackRate(HWAVEOUT hwo, DWORD dwRate);
// The device number the handle was opened with (WAVE_MAPPER for the mapper).
MMRESULT waveOutGetID(HWAVEOUT hwo, LPUINT puDeviceID);

// --- input ------------------------------------------------------------------------
UINT waveInGetNumDevs();
// uDeviceID may also be an open input handle. Copies at most cbwic bytes.
MMRESULT waveInGetDevCapsA(UINT_PTR uDeviceID, LPWAVEINCAPSA pwic, UINT cbwic);
MMRESULT waveInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);
MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInGetPosition(HWAVEIN hwi, LPMMTIME pmmt, UINT cbmmt);
MMRESULT waveInGetID(HWAVEIN hwi, LPUINT puDeviceID);

} // extern "C"
