// What the wave engine shares: the format record, the PCM formats it offers,
// time/byte conversions, format names and descriptions, operations on blocks
// of 8- and 16-bit PCM samples, the bridge that lets the mmio functions work
// on a TStream, and a wait that keeps the thread's posted messages flowing.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

class TStream;

using PWaveFormatEx = WAVEFORMATEX*;

// The PCM formats players, recorders and conversions offer: rate-major, then
// bits (8 before 16), then channels (mono before stereo).
enum TPCMFormat {
    nonePCM,
    Mono8Bit8000Hz,
    Stereo8bit8000Hz,
    Mono16bit8000Hz,
    Stereo16bit8000Hz,
    Mono8bit11025Hz,
    Stereo8bit11025Hz,
    Mono16bit11025Hz,
    Stereo16bit11025Hz,
    Mono8bit22050Hz,
    Stereo8bit22050Hz,
    Mono16bit22050Hz,
    Stereo16bit22050Hz,
    Mono8bit44100Hz,
    Stereo8bit44100Hz,
    Mono16bit44100Hz,
    Stereo16bit44100Hz,
    Mono8bit48000Hz,
    Stereo8bit48000Hz,
    Mono16bit48000Hz,
    Stereo16bit48000Hz,
};

enum TPCMChannel { cMono, cStereo };
enum TPCMSamplesPerSec { ss8000Hz, ss11025Hz, ss22050Hz, ss44100Hz, ss48000Hz };
enum TPCMBitsPerSample { bs8Bit, bs16Bit };

// "Mono" for 1 channel, "Stereo" for 2, empty otherwise.
std::string ChannelName(unsigned channels);
// The display name of a format tag ("PCM", "IMA ADPCM", ...), or empty.
std::string FormatTagName(unsigned formatTag);

// Fills an 18-byte record (cbSize 0).
void BuildPCMFormat(WAVEFORMATEX* format, TPCMChannel channels, TPCMSamplesPerSec rate,
                    TPCMBitsPerSample bits);
// nonePCM leaves the record untouched.
void MakePCMFormat(WAVEFORMATEX* format, TPCMFormat pcm);

// Conversions round like MulDiv (to the nearest integer, 64-bit intermediate)
// over the record's unsigned fields. A result that does not fit a signed
// 32-bit value, a negative time and a missing record give -1 (TimeForBytes
// and KilobitsPerSecond: 0 for a missing record).
//
// Bytes for a time, rounded down to whole sample frames (nBlockAlign).
std::int32_t BytesForTime(const WAVEFORMATEX* format, std::int32_t ms);
// Bytes for a time, rounded up to whole sample frames (device buffers).
std::int32_t BufferBytesForTime(const WAVEFORMATEX* format, std::int32_t ms);
// Milliseconds for a byte count; 0 when nAvgBytesPerSec is 0.
std::int32_t TimeForBytes(const WAVEFORMATEX* format, std::uint32_t bytes);
// Nominal bit rate from rate, channels and bits (0 when wBitsPerSample is 0).
std::int32_t KilobitsPerSecond(const WAVEFORMATEX* format);

// "PCM: 44,100 kHz, 16 Bit, Stereo" and the like. The kHz always carry a
// comma as the decimal separator, whatever the machine's regional settings,
// because format texts are compared with fixed comma texts.
std::string DescribeFormat(const WAVEFORMATEX* format);

// True when the record's fields agree with each other as its format defines
// them: channels, a rate (at most 10 MHz) and a block alignment are set, and
// for PCM, IEEE float, IMA ADPCM, Microsoft ADPCM and G.711 the block holds
// what the record says it holds.
// The system's drivers trust the records they are given (some divide by these
// fields, some decode as many samples per block as a record claims), so a
// record from a damaged file must not reach them. The edits and conversions
// refuse any other record.
bool IsConsistentFormat(const WAVEFORMATEX* format);

// The samples of one channel in a block of IMA ADPCM, Microsoft ADPCM or
// GSM 6.10; 0 for any other format.
std::uint32_t SamplesPerBlock(const WAVEFORMATEX* format);
// A block format's byte rate that contradicts its blocks (some writers put a
// rate there that has nothing to do with them) is replaced by the rate of
// its blocks: rate * block align / samples per block. Every time and position
// is computed from the byte rate.
void CorrectBlockByteRate(WAVEFORMATEX* format);
// The sample frames that `bytes` bytes of data hold (a "fact" chunk's count):
// whole blocks times the samples per block for block formats, one per block
// align for PCM, float and G.711, by the byte rate for other codings.
std::uint64_t SampleFrames(const WAVEFORMATEX* format, std::uint32_t bytes);

// True for PCM with 8 or 16 bits per sample, the formats the sample
// operations below accept; they touch no data for any other format.
bool IsSupportedPCM(const WAVEFORMATEX* format);

// The largest distance of a sample from silence (128 for 8-bit data, 0 for
// 16-bit), in percent of 127 or 32767: 0..100, the most negative sample
// counting as 100; -1 for an unsupported format.
int PeakLevelPercent(const void* data, std::uint32_t size, const WAVEFORMATEX* format);
// Reverses the order of the frames (a sample of each channel) in place, so
// that the channels keep their places; a trailing part of a frame stays.
bool ReverseSamples(void* data, std::uint32_t size, const WAVEFORMATEX* format);
// Byte 128 (the zero of unsigned samples) for 8-bit data, 0 for 16-bit data.
bool FillWithSilence(void* data, std::uint32_t size, const WAVEFORMATEX* format);
// v := v + v * percent / 100 (truncated), with v the distance from silence:
// 8-bit samples scale around 128 and are clamped to 0..255, 16-bit ones are
// clamped to -32767..32767.
bool ScaleSamples(void* data, std::uint32_t size, const WAVEFORMATEX* format, std::int32_t percent);

struct TMixInput {
    const void* Data;
    std::uint32_t Size;
};
// Output value i := (sum of input value i over the inputs that have one)
// div count.
bool MixSamples(const TMixInput* inputs, int count, const WAVEFORMATEX* format, void* output,
                std::uint32_t outputSize);

// An unbuffered mmio handle whose I/O procedure reads and writes `stream`;
// null when it cannot be opened. Close it with mmioClose.
HMMIO OpenStreamMmio(TStream* stream);
// The I/O procedure behind OpenStreamMmio: adwInfo[0] holds the TStream,
// lDiskOffset the current offset. Stream errors become -1.
LRESULT CALLBACK StreamIOProc(LPSTR mmioInfo, UINT message, LPARAM param1, LPARAM param2);

// Waits for `handle` (timeout in ms, INFINITE for none) while dispatching the
// calling thread's posted messages; keyboard and mouse messages are dropped.
DWORD WaitPumpingMessages(HANDLE handle, DWORD timeout);
