#include "wave/WaveUtils.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "wave/Streams.h"

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// a * b / c rounded half away from zero, as MulDiv does, over unsigned values
// (the record's fields are unsigned, so they are not reinterpreted as signed).
// -1 when c is 0 or the result does not fit a signed 32-bit value.
std::int32_t ScaleRounded(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    if (c == 0)
        return -1;
    const std::uint64_t product = a * b; // both factors < 2^32: no overflow
    if (product > std::numeric_limits<std::uint64_t>::max() - c / 2)
        return -1;
    const std::uint64_t result = (product + c / 2) / c;
    return result > static_cast<std::uint64_t>(kInt32Max) ? -1 : static_cast<std::int32_t>(result);
}

struct PCMLayout {
    TPCMChannel channels;
    TPCMSamplesPerSec rate;
    TPCMBitsPerSample bits;
};

constexpr std::array<PCMLayout, 20> kPCMLayouts = {{
    {cMono, ss8000Hz, bs8Bit},     {cStereo, ss8000Hz, bs8Bit},   {cMono, ss8000Hz, bs16Bit},
    {cStereo, ss8000Hz, bs16Bit},  {cMono, ss11025Hz, bs8Bit},    {cStereo, ss11025Hz, bs8Bit},
    {cMono, ss11025Hz, bs16Bit},   {cStereo, ss11025Hz, bs16Bit}, {cMono, ss22050Hz, bs8Bit},
    {cStereo, ss22050Hz, bs8Bit},  {cMono, ss22050Hz, bs16Bit},   {cStereo, ss22050Hz, bs16Bit},
    {cMono, ss44100Hz, bs8Bit},    {cStereo, ss44100Hz, bs8Bit},  {cMono, ss44100Hz, bs16Bit},
    {cStereo, ss44100Hz, bs16Bit}, {cMono, ss48000Hz, bs8Bit},    {cStereo, ss48000Hz, bs8Bit},
    {cMono, ss48000Hz, bs16Bit},   {cStereo, ss48000Hz, bs16Bit},
}};

constexpr DWORD kRates[] = {8000, 11025, 22050, 44100, 48000};

struct TagName {
    unsigned tag;
    const char* name;
};

constexpr TagName kTagNames[] = {
    {1, "PCM"},
    {2, "Microsoft ADPCM"},
    {3, "PCM IEEE"},
    {4, "VSELP"},
    {5, "CSVD"},
    {6, "A-Law"},
    {7, "u-Law"},
    {8, "DTS"},
    {17, "IMA ADPCM"},
    {49, "GSM 6.10"},
    {67, "Microsoft G.723.1"},
    {80, "MPEG"},
    {85, "MPEG Layer-3"},
};

// Loads and stores of 16-bit little-endian samples that need no alignment.
inline std::int16_t LoadSample(const std::uint8_t* p) {
    std::int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// 16-bit samples can be reached as an array when the block is aligned, which
// lets the sample loops run on vectors; any other block goes byte-wise.
inline std::int16_t* AlignedSamples(void* data) {
    return reinterpret_cast<std::uintptr_t>(data) % alignof(std::int16_t) == 0
               ? static_cast<std::int16_t*>(data)
               : nullptr;
}

// No sound is sampled faster; a rate beyond this comes from a damaged header.
constexpr DWORD kMaxSampleRate = 10'000'000;

// A little-endian word of the bytes that follow the 18-byte record.
unsigned ExtraWord(const WAVEFORMATEX* format, unsigned offset) {
    const auto* extra = reinterpret_cast<const std::uint8_t*>(format) + sizeof(WAVEFORMATEX);
    return extra[offset] | (extra[offset + 1] << 8);
}

// Reverses `count` frames of sizeof(T) bytes, aligned or not: the frames
// go through values of T, which the compiler keeps in registers.
template <class T>
void ReverseFrames(std::uint8_t* bytes, std::uint32_t count) {
    std::uint8_t* front = bytes;
    std::uint8_t* back = bytes + std::size_t{count} * sizeof(T);
    while (back - front >= static_cast<std::ptrdiff_t>(2 * sizeof(T))) {
        back -= sizeof(T);
        T a, b;
        std::memcpy(&a, front, sizeof(T));
        std::memcpy(&b, back, sizeof(T));
        std::memcpy(front, &b, sizeof(T));
        std::memcpy(back, &a, sizeof(T));
        front += sizeof(T);
    }
}

} // namespace

std::string ChannelName(unsigned channels) {
    if (channels == 1)
        return "Mono";
    if (channels == 2)
        return "Stereo";
    return {};
}

std::string FormatTagName(unsigned formatTag) {
    for (const TagName& entry : kTagNames)
        if (entry.tag == formatTag)
            return entry.name;
    return {};
}

void BuildPCMFormat(WAVEFORMATEX* format, TPCMChannel channels, TPCMSamplesPerSec rate,
                    TPCMBitsPerSample bits) {
    if (format == nullptr)
        return;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = channels == cStereo ? 2 : 1;
    format->nSamplesPerSec = kRates[rate];
    format->wBitsPerSample = bits == bs16Bit ? 16 : 8;
    format->nBlockAlign = static_cast<WORD>(format->nChannels * format->wBitsPerSample / 8);
    format->nAvgBytesPerSec = format->nBlockAlign * format->nSamplesPerSec;
    format->cbSize = 0;
}

void MakePCMFormat(WAVEFORMATEX* format, TPCMFormat pcm) {
    if (pcm <= nonePCM || pcm > Stereo16bit48000Hz)
        return;
    const PCMLayout& layout = kPCMLayouts[pcm - 1];
    BuildPCMFormat(format, layout.channels, layout.rate, layout.bits);
}

std::int32_t BytesForTime(const WAVEFORMATEX* format, std::int32_t ms) {
    if (format == nullptr || ms < 0)
        return -1;
    const std::int32_t n =
        ScaleRounded(format->nAvgBytesPerSec, static_cast<std::uint64_t>(ms), 1000);
    if (n < 0 || format->nBlockAlign <= 1)
        return n;
    return n / format->nBlockAlign * format->nBlockAlign;
}

std::int32_t BufferBytesForTime(const WAVEFORMATEX* format, std::int32_t ms) {
    if (format == nullptr || ms < 0)
        return -1;
    const std::int32_t n =
        ScaleRounded(static_cast<std::uint64_t>(ms), format->nAvgBytesPerSec, 1000);
    if (n < 0 || format->nBlockAlign <= 1 || n % format->nBlockAlign == 0)
        return n;
    const std::int64_t up =
        (static_cast<std::int64_t>(n) / format->nBlockAlign + 1) * format->nBlockAlign;
    return up > kInt32Max ? -1 : static_cast<std::int32_t>(up);
}

std::int32_t TimeForBytes(const WAVEFORMATEX* format, std::uint32_t bytes) {
    if (format == nullptr || format->nAvgBytesPerSec == 0)
        return 0;
    return ScaleRounded(1000, bytes, format->nAvgBytesPerSec);
}

std::int32_t KilobitsPerSecond(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return 0;
    return ScaleRounded(format->nSamplesPerSec,
                        std::uint64_t{format->nChannels} * format->wBitsPerSample, 1000);
}

std::string DescribeFormat(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return {};
    // The rate is whole Hz, so its kHz with three decimals are exactly the
    // thousands and the remainder; no floating point, no locale.
    const DWORD rate = format->nSamplesPerSec;
    char khz[32];
    std::snprintf(khz, sizeof khz, "%lu,%03lu kHz", static_cast<unsigned long>(rate / 1000),
                  static_cast<unsigned long>(rate % 1000));
    std::string text = khz;
    const std::string channels = ChannelName(format->nChannels);
    if (format->wBitsPerSample != 0)
        text += ", " + std::to_string(format->wBitsPerSample) + " Bit";
    if (!channels.empty())
        text += ", " + channels;
    else
        text += ", " + std::to_string(format->nChannels) + " Ch";
    const std::string tag = FormatTagName(format->wFormatTag);
    return tag.empty() ? text : tag + ": " + text;
}

bool IsSupportedPCM(const WAVEFORMATEX* format) {
    return format != nullptr && format->wFormatTag == WAVE_FORMAT_PCM &&
           (format->wBitsPerSample == 8 || format->wBitsPerSample == 16);
}

std::uint32_t SamplesPerBlock(const WAVEFORMATEX* format) {
    if (format == nullptr || format->nChannels == 0)
        return 0;
    const unsigned channels = format->nChannels;
    const unsigned block = format->nBlockAlign;
    switch (format->wFormatTag) {
    case WAVE_FORMAT_IMA_ADPCM:
        // The header's sample, then 8 samples per 4 bytes of each channel.
        return block > 4 * channels ? (block - 4 * channels) * 2 / channels + 1 : 0;
    case WAVE_FORMAT_ADPCM:
        return format->cbSize >= 2 ? ExtraWord(format, 0) : 0;
    case WAVE_FORMAT_GSM610:
        // Two frames of 160 samples in 65 bytes.
        return block == 65 && channels == 1 ? 320 : 0;
    default:
        return 0;
    }
}

void CorrectBlockByteRate(WAVEFORMATEX* format) {
    const std::uint32_t samples = SamplesPerBlock(format);
    if (samples == 0 || format->nBlockAlign == 0 || format->nSamplesPerSec == 0)
        return;
    const std::uint64_t rate =
        (std::uint64_t{format->nSamplesPerSec} * format->nBlockAlign + samples / 2) / samples;
    // Writers round the rate their own ways; only one that is off by more
    // than a percent contradicts the blocks.
    const std::uint64_t stated = format->nAvgBytesPerSec;
    const std::uint64_t off = stated > rate ? stated - rate : rate - stated;
    if (off * 100 > rate && rate > 0 && rate <= 0xFFFFFFFF)
        format->nAvgBytesPerSec = static_cast<DWORD>(rate);
}

std::uint64_t SampleFrames(const WAVEFORMATEX* format, std::uint32_t bytes) {
    if (format == nullptr || format->nBlockAlign == 0)
        return 0;
    const std::uint32_t perBlock = SamplesPerBlock(format);
    if (perBlock != 0)
        return std::uint64_t{bytes / format->nBlockAlign} * perBlock;
    switch (format->wFormatTag) {
    case WAVE_FORMAT_PCM:
    case WAVE_FORMAT_IEEE_FLOAT:
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return bytes / format->nBlockAlign;
    default:
        // A coding whose blocks are not known: by its byte rate.
        return format->nAvgBytesPerSec == 0
                   ? 0
                   : std::uint64_t{bytes} * format->nSamplesPerSec / format->nAvgBytesPerSec;
    }
}

bool IsConsistentFormat(const WAVEFORMATEX* format) {
    if (format == nullptr || format->nChannels == 0 || format->nSamplesPerSec == 0 ||
        format->nSamplesPerSec > kMaxSampleRate || format->nBlockAlign == 0)
        return false;
    const unsigned channels = format->nChannels;
    const unsigned block = format->nBlockAlign;
    const unsigned bits = format->wBitsPerSample;
    switch (format->wFormatTag) {
    case WAVE_FORMAT_PCM:
        return bits >= 8 && bits <= 32 && bits % 8 == 0 && block == channels * bits / 8 &&
               std::uint64_t{format->nAvgBytesPerSec} ==
                   std::uint64_t{format->nSamplesPerSec} * block;
    case WAVE_FORMAT_IMA_ADPCM: {
        // A 4-byte header per channel, then 4-byte words of 8 samples per
        // channel in turn; the header holds the block's first sample.
        if (bits != 4 || format->cbSize < 2 || block < 4 * channels ||
            (block - 4 * channels) % (4 * channels) != 0)
            return false;
        return ExtraWord(format, 0) == (block - 4 * channels) * 2 / channels + 1;
    }
    case WAVE_FORMAT_ADPCM: {
        // A 7-byte header per channel holding two samples, then a nibble per
        // sample; the record carries the samples per block and coefficients.
        if (bits != 4 || format->cbSize < 4 || block < 7 * channels)
            return false;
        const unsigned samples = ExtraWord(format, 0);
        const unsigned coefficients = ExtraWord(format, 2);
        return samples >= 2 && samples <= (block - 7 * channels) * 2 / channels + 2 &&
               coefficients >= 1 && format->cbSize >= 4 + 4 * coefficients;
    }
    case WAVE_FORMAT_IEEE_FLOAT:
        return (bits == 32 || bits == 64) && block == channels * bits / 8 &&
               std::uint64_t{format->nAvgBytesPerSec} ==
                   std::uint64_t{format->nSamplesPerSec} * block;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return bits == 8 && block == channels;
    default:
        return true;
    }
}

int PeakLevelPercent(const void* data, std::uint32_t size, const WAVEFORMATEX* format) {
    if (!IsSupportedPCM(format))
        return -1;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr)
        size = 0;
    // The largest distance from silence, on either half-wave; the negative
    // end of the scale, one step further out than the positive, counts as 100.
    int peak = 0;
    int fullScale = 127;
    if (format->wBitsPerSample == 8) {
        for (std::uint32_t i = 0; i < size; ++i)
            peak = std::max(peak, std::abs(bytes[i] - 128));
    } else {
        fullScale = 32767;
        const std::uint32_t count = size / 2;
        if (const std::int16_t* samples = AlignedSamples(const_cast<std::uint8_t*>(bytes))) {
            std::int16_t top = 0, bottom = 0;
            for (std::uint32_t i = 0; i < count; ++i) {
                top = std::max(top, samples[i]);
                bottom = std::min(bottom, samples[i]);
            }
            peak = std::max<int>(top, -bottom);
        } else {
            for (std::uint32_t i = 0; i < count; ++i)
                peak = std::max(peak, std::abs(int{LoadSample(bytes + 2 * i)}));
        }
    }
    return std::min(peak * 100 / fullScale, 100);
}

bool ReverseSamples(void* data, std::uint32_t size, const WAVEFORMATEX* format) {
    if (!IsSupportedPCM(format))
        return false;
    auto* bytes = static_cast<std::uint8_t*>(data);
    if (bytes == nullptr)
        return true;
    // Whole frames trade places, so each channel stays where it is; a
    // trailing part of a frame is left alone.
    const std::uint32_t frame =
        std::max<std::uint32_t>(format->nChannels, 1) * (format->wBitsPerSample / 8);
    const std::uint32_t count = size / frame;
    switch (frame) {
    case 1:
        std::reverse(bytes, bytes + count);
        break;
    case 2:
        ReverseFrames<std::uint16_t>(bytes, count);
        break;
    case 4:
        ReverseFrames<std::uint32_t>(bytes, count);
        break;
    default:
        for (std::uint32_t i = 0, j = count; i + 1 < j; ++i) {
            --j;
            std::swap_ranges(bytes + std::size_t{i} * frame, bytes + std::size_t{i + 1} * frame,
                             bytes + std::size_t{j} * frame);
        }
    }
    return true;
}

bool FillWithSilence(void* data, std::uint32_t size, const WAVEFORMATEX* format) {
    if (!IsSupportedPCM(format))
        return false;
    if (data != nullptr)
        std::memset(data, format->wBitsPerSample == 8 ? 128 : 0, size);
    return true;
}

bool ScaleSamples(void* data, std::uint32_t size, const WAVEFORMATEX* format,
                  std::int32_t percent) {
    if (!IsSupportedPCM(format))
        return false;
    auto* bytes = static_cast<std::uint8_t*>(data);
    if (bytes == nullptr)
        return true;
    // Every sample value maps through a table made once per call, so the
    // per-sample work is one lookup whatever the percent.
    const auto scaled = [percent](std::int64_t v, std::int64_t low, std::int64_t high) {
        const std::int64_t r = v + v * percent / 100; // |v * percent| < 2^47
        return std::clamp(r, low, high);
    };
    if (format->wBitsPerSample == 8) {
        // Unsigned 8-bit samples swing around 128.
        std::array<std::uint8_t, 256> table;
        for (int v = 0; v < 256; ++v)
            table[v] = static_cast<std::uint8_t>(scaled(v - 128, -128, 127) + 128);
        for (std::uint32_t i = 0; i < size; ++i)
            bytes[i] = table[bytes[i]];
        return true;
    }
    const std::uint32_t count = size / 2;
    std::int16_t* samples = AlignedSamples(bytes);
    if (samples != nullptr && percent >= -65535 && percent <= 65535) {
        // |v * percent| < 2^31: plain 32-bit arithmetic, on vectors.
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::int32_t v = samples[i];
            samples[i] =
                static_cast<std::int16_t>(std::clamp(v + v * percent / 100, -32767, 32767));
        }
        return true;
    }
    std::vector<std::int16_t> table(65536);
    for (int v = -32768; v < 32768; ++v)
        table[static_cast<std::uint16_t>(v)] = static_cast<std::int16_t>(scaled(v, -32767, 32767));
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t v;
        std::memcpy(&v, bytes + 2 * i, 2);
        const std::int16_t r = table[v];
        std::memcpy(bytes + 2 * i, &r, 2);
    }
    return true;
}

bool MixSamples(const TMixInput* inputs, int count, const WAVEFORMATEX* format, void* output,
                std::uint32_t outputSize) {
    if (!IsSupportedPCM(format))
        return false;
    auto* out = static_cast<std::uint8_t*>(output);
    if (out == nullptr || count <= 0 || inputs == nullptr)
        return false;
    const unsigned width = format->wBitsPerSample / 8;
    const std::uint32_t steps = outputSize / width;
    // Current and end position of each input, in whole sample values.
    std::vector<const std::uint8_t*> current(static_cast<std::size_t>(count));
    std::vector<const std::uint8_t*> end(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        current[k] = static_cast<const std::uint8_t*>(inputs[k].Data);
        const std::uint32_t usable = current[k] == nullptr ? 0 : inputs[k].Size / width * width;
        end[k] = current[k] + usable;
    }
    for (std::uint32_t i = 0; i < steps; ++i) {
        std::int64_t sum = 0;
        for (int k = 0; k < count; ++k) {
            if (current[k] == end[k])
                continue;
            sum += width == 1 ? std::int64_t{*current[k]} : std::int64_t{LoadSample(current[k])};
            current[k] += width;
        }
        const std::int64_t mean = sum / count; // truncates toward zero
        if (width == 1) {
            out[i] = static_cast<std::uint8_t>(mean);
        } else {
            const auto v = static_cast<std::int16_t>(mean);
            std::memcpy(out + 2 * i, &v, 2);
        }
    }
    return true;
}

// --- the mmio bridge ----------------------------------------------------------

namespace {

TStream* StreamOf(const MMIOINFO* info) {
    return info == nullptr
               ? nullptr
               : reinterpret_cast<TStream*>(static_cast<std::uintptr_t>(info->adwInfo[0]));
}

} // namespace

LRESULT CALLBACK StreamIOProc(LPSTR mmioInfo, UINT message, LPARAM param1, LPARAM param2) {
    auto* info = reinterpret_cast<MMIOINFO*>(mmioInfo);
    TStream* stream = StreamOf(info);
    if (stream == nullptr)
        return -1;
    try {
        switch (message) {
        case MMIOM_OPEN:
            stream->Seek(0, soBeginning);
            info->lDiskOffset = 0;
            return 0;
        case MMIOM_READ: {
            if (param2 < 0)
                return -1;
            stream->Seek(info->lDiskOffset, soBeginning);
            const std::int64_t n = stream->Read(reinterpret_cast<void*>(param1), param2);
            info->lDiskOffset = static_cast<LONG>(stream->Position());
            return static_cast<LRESULT>(n);
        }
        case MMIOM_WRITE:
        case MMIOM_WRITEFLUSH: {
            if (param2 < 0)
                return -1;
            stream->Seek(info->lDiskOffset, soBeginning);
            const std::int64_t n = stream->Write(reinterpret_cast<const void*>(param1), param2);
            info->lDiskOffset = static_cast<LONG>(stream->Position());
            return static_cast<LRESULT>(n);
        }
        case MMIOM_SEEK: {
            const auto offset = static_cast<LONG>(param1);
            const int origin = static_cast<int>(param2);
            if (origin == SEEK_CUR)
                stream->Seek(info->lDiskOffset, soBeginning);
            const std::int64_t position = stream->Seek(offset, origin == SEEK_CUR   ? soCurrent
                                                               : origin == SEEK_END ? soEnd
                                                                                    : soBeginning);
            if (position > kInt32Max)
                return -1;
            info->lDiskOffset = static_cast<LONG>(position);
            return static_cast<LRESULT>(position);
        }
        default:
            return 0;
        }
    } catch (const std::exception&) {
        return -1;
    }
}

HMMIO OpenStreamMmio(TStream* stream) {
    if (stream == nullptr)
        return nullptr;
    MMIOINFO info;
    std::memset(&info, 0, sizeof info);
    info.pIOProc = StreamIOProc;
    info.adwInfo[0] =
        static_cast<decltype(info.adwInfo[0] + 0)>(reinterpret_cast<std::uintptr_t>(stream));
    return mmioOpenA(nullptr, &info, MMIO_WRITE);
}

// --- waiting while messages flow ------------------------------------------------------

DWORD WaitPumpingMessages(HANDLE handle, DWORD timeout) {
    // Posted messages, timers, paint and hot keys wake the wait; input does not.
    constexpr DWORD kWakeMask = QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY;
    HANDLE waitFor = handle;
    HANDLE duplicate = nullptr;
    if (handle == GetCurrentThread() || handle == GetCurrentProcess()) {
        // A pseudo-handle names no object to wait for; a real one does.
        if (DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate,
                            SYNCHRONIZE, FALSE, 0))
            waitFor = duplicate;
    }
    DWORD result = WAIT_FAILED;
    do {
        const DWORD started = GetTickCount();
        result = MsgWaitForMultipleObjects(1, &waitFor, FALSE, timeout, kWakeMask);
        if (result != WAIT_OBJECT_0 + 1)
            break;
        bool quit = false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const bool keyboard = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
            const bool mouse = msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSEWHEEL;
            if (keyboard || mouse)
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (msg.message == WM_QUIT) {
                quit = true;
                break;
            }
        }
        if (quit)
            break;
        if (timeout != INFINITE) {
            const DWORD elapsed = GetTickCount() - started;
            timeout = elapsed < timeout ? timeout - elapsed : 0;
        }
    } while (result == WAIT_OBJECT_0 + 1);
    if (duplicate != nullptr)
        CloseHandle(duplicate);
    return result;
}
