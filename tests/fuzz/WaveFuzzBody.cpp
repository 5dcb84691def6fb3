#include "WaveFuzzBody.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <vector>

#include "wave/Streams.h"
#include "wave/WaveStorage.h"
#include "wave/WaveUtils.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Edits that would build more data than this are skipped: a format from the
// input can turn a few milliseconds into gigabytes, which the engine accepts
// but a fuzzing round cannot afford.
constexpr std::uint64_t kAffordable = 512u << 10;
// The edits are chosen by at most this many bytes at the end of the input.
constexpr std::size_t kTapeBytes = 64;
constexpr std::uint32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// A broken rule; deliberately not a std::exception, so that it is never
// mistaken for an error the engine raised.
struct BrokenRule {
    std::string text;
};

std::string Describe(const char* condition, int line) {
    return std::string(condition).append(" (line ").append(std::to_string(line)).append(")");
}

// Notes a step's arguments in the trace: "(a, b)".
void Note(std::string& trace, std::initializer_list<std::int64_t> args) {
    trace.push_back('(');
    for (const std::int64_t a : args) {
        if (trace.back() != '(')
            trace.append(", ");
        trace.append(std::to_string(a));
    }
    trace.push_back(')');
}

#define FUZZ_EXPECT(cond)                                                                          \
    do {                                                                                           \
        if (!(cond))                                                                               \
            throw BrokenRule{Describe(#cond, __LINE__)};                                           \
    } while (0)

// A stream that is not a TMemoryStream, so that an adapter over it takes the
// copying paths: AcquireData copies, ReleaseData writes back.
class PlainStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (count <= 0 || position_ >= Size())
            return 0;
        const std::int64_t n = std::min(count, Size() - position_);
        std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
        position_ += n;
        return n;
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (count <= 0)
            return 0;
        const std::int64_t end = position_ + count;
        if (end > Size())
            bytes_.resize(static_cast<std::size_t>(end));
        std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
        position_ = end;
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const std::int64_t base = origin == soCurrent ? position_ : origin == soEnd ? Size() : 0;
        if (base + offset < 0)
            throw EStreamError("Cannot seek in stream: negative position");
        position_ = base + offset;
        return position_;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
    void SetSize(std::int64_t size) override {
        if (size < 0)
            throw EStreamError("Cannot resize stream: negative size");
        bytes_.resize(static_cast<std::size_t>(size));
        position_ = std::min(position_, size);
    }

private:
    Bytes bytes_;
    std::int64_t position_ = 0;
};

// The edit choices: the input's last bytes, read from the end backwards;
// zeros once they run out.
class Tape {
public:
    Tape(const std::uint8_t* data, std::size_t size)
        : data_(data), size_(size), left_(std::min(size, kTapeBytes)) {}

    std::uint8_t Byte() {
        if (left_ == 0)
            return 0;
        return data_[size_ - (kTapeBytes < size_ ? kTapeBytes : size_) + --left_];
    }
    std::uint32_t Word() {
        std::uint32_t w = 0;
        for (int i = 0; i < 4; ++i)
            w = (w << 8) | Byte();
        return w;
    }
    // A time in ms: small, around the wave's end or middle, negative as a
    // signed value, around 2^31, near 2^32, or anything.
    std::uint32_t Time(std::int32_t durationMs) {
        const std::uint8_t kind = Byte();
        const std::uint32_t small = kind >> 3;
        const auto duration = static_cast<std::uint32_t>(durationMs);
        switch (kind & 7) {
        case 0:
            return small;
        case 1:
            return small * 97;
        case 2:
            return duration + small - 16;
        case 3:
            return duration / 2 + small;
        case 4:
            return 0u - small;
        case 5:
            return kInt32Max - 16 + small;
        case 6:
            return std::numeric_limits<std::uint32_t>::max() - small;
        default:
            return Word();
        }
    }
    // A signed percent: small either way, the extremes, or anything.
    std::int32_t Percent() {
        const std::uint8_t kind = Byte();
        const int small = kind >> 2;
        switch (kind & 3) {
        case 0:
            return small * 5 - 100;
        case 1:
            return small * 100;
        case 2:
            return small % 2 ? std::numeric_limits<std::int32_t>::max()
                             : std::numeric_limits<std::int32_t>::min();
        default:
            return static_cast<std::int32_t>(Word());
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t left_;
};

Bytes FileOf(TWaveStreamAdapter& wave) {
    TStream& stream = *wave.Stream();
    Bytes bytes(static_cast<std::size_t>(stream.Size()));
    stream.Seek(0, soBeginning);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::int64_t n =
            stream.Read(bytes.data() + done, static_cast<std::int64_t>(bytes.size() - done));
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    FUZZ_EXPECT(done == bytes.size());
    return bytes;
}

Bytes RecordOf(const WAVEFORMATEX* format) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(format);
    return Bytes(p, p + sizeof(WAVEFORMATEX) + format->cbSize);
}

const WAVEFORMATEX* AsFormat(const Bytes& record) {
    return reinterpret_cast<const WAVEFORMATEX*>(record.data());
}

// What a wave held before a step.
struct Snapshot {
    Bytes file;
    bool valid = false;
    Bytes format;
    std::uint32_t dataStart = 0;
    std::uint32_t dataBytes = 0;
    std::int32_t duration = 0;
    bool acquirable = false; // valid and data not empty
    bool wellFormed = false;
    Bytes data;

    const WAVEFORMATEX* Format() const { return AsFormat(format); }
    // What every edit requires: a record that agrees with itself.
    bool Editable() const { return valid && IsConsistentFormat(Format()); }
    bool Pcm() const { return Editable() && IsSupportedPCM(Format()); }
};

Snapshot Take(TWaveStreamAdapter& wave) {
    Snapshot s;
    s.file = FileOf(wave);
    s.valid = wave.IsValidWave();
    if (!s.valid)
        return s;
    s.format = RecordOf(wave.FormatRecord());
    s.dataStart = static_cast<std::uint32_t>(wave.DataStart());
    s.dataBytes = wave.DataBytes();
    s.duration = wave.DurationMs();
    s.acquirable = s.dataBytes > 0;
    s.wellFormed = wave.IsWellFormed();
    if (s.acquirable)
        s.data.assign(s.file.begin() + s.dataStart, s.file.begin() + s.dataStart + s.dataBytes);
    return s;
}

// Bytes for a time, as every edit converts it: none for a time beyond 2^31 - 1
// or a byte count that does not fit.
std::optional<std::uint32_t> BytesFor(const WAVEFORMATEX* format, std::uint32_t ms) {
    if (ms > kInt32Max)
        return std::nullopt;
    const std::int32_t n = BytesForTime(format, static_cast<std::int32_t>(ms));
    if (n < 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

// Bytes for a time clamped to the data: a time that does not convert lies
// beyond the end.
std::uint32_t ClampedBytes(const Snapshot& s, std::uint32_t ms) {
    return std::min(BytesFor(s.Format(), ms).value_or(s.dataBytes), s.dataBytes);
}

bool Affordable(const WAVEFORMATEX* format, std::uint32_t ms, std::uint64_t more) {
    const std::optional<std::uint32_t> n = BytesFor(format, ms);
    return !n || *n + more <= kAffordable;
}

Bytes Silence(const Snapshot& s, std::uint32_t n) {
    return Bytes(n, s.Format()->wBitsPerSample == 8 ? 128 : 0);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(to));
}

// --- checks ---------------------------------------------------------------------------

std::uint32_t Get32(const Bytes& file, std::size_t at) {
    return file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) |
           (std::uint32_t{file[at + 3]} << 24);
}

// Every detail agrees with the file and with the others; misuse outside a
// phase is refused.
void CheckDetails(TWaveStreamAdapter& wave, bool inMemory) {
    const Bytes file = FileOf(wave);
    FUZZ_EXPECT(wave.Phase() == wpNone);
    FUZZ_EXPECT(wave.IsEmpty() == file.empty());
    const bool valid = wave.IsValidWave();
    const WAVEFORMATEX* format = wave.FormatRecord();
    FUZZ_EXPECT((format != nullptr) == valid);
    FUZZ_EXPECT(!wave.HasFormat(nullptr));
    FUZZ_EXPECT(wave.ReadData(nullptr, 1) == -1);
    FUZZ_EXPECT(wave.WriteData("x", 1) == -1);
    FUZZ_EXPECT(!wave.StopReading());
    FUZZ_EXPECT(!wave.StopWriting());
    FUZZ_EXPECT(!wave.ReleaseData(nullptr, false));
    // Not null, so that a failed AcquireData must clear it.
    static int sentinel;
    void* buffer = &sentinel;
    if (!valid) {
        FUZZ_EXPECT(wave.DataBytes() == 0);
        FUZZ_EXPECT(wave.DataStart() == 0);
        FUZZ_EXPECT(wave.DurationMs() == 0);
        FUZZ_EXPECT(wave.KilobitsPerSecond() == 0);
        FUZZ_EXPECT(wave.AudioFormatText().empty());
        FUZZ_EXPECT(wave.PeakPercent() == -1);
        FUZZ_EXPECT(!wave.AcquireData(buffer, false) && buffer == nullptr);
        return;
    }
    const std::uint32_t bytes = wave.DataBytes();
    const std::int32_t start = wave.DataStart();
    // RIFF header, a "fmt " of at least 14 bytes and the "data" header.
    FUZZ_EXPECT(start >= 42 && static_cast<std::uint64_t>(start) <= file.size());
    // The data is what the file holds, in whole blocks, whatever the size
    // field claims.
    FUZZ_EXPECT(static_cast<std::uint64_t>(start) + bytes <= file.size());
    FUZZ_EXPECT(format->nBlockAlign <= 1 || bytes % format->nBlockAlign == 0);
    std::uint64_t field = Get32(file, static_cast<std::size_t>(start) - 4);
    // RF64 keeps a size that is all ones in its "ds64" chunk; 0 there
    // (a writer to a pipe) lets the data run to the end.
    if (field == 0xFFFFFFFF &&
        (std::memcmp(file.data(), "RF64", 4) == 0 || std::memcmp(file.data(), "BW64", 4) == 0)) {
        field = Get32(file, 28) | (std::uint64_t{Get32(file, 32)} << 32);
        if (field == 0)
            field = file.size() - static_cast<std::size_t>(start);
    }
    FUZZ_EXPECT(bytes <= field);
    FUZZ_EXPECT(format->nBlockAlign == 0 ||
                bytes + format->nBlockAlign >
                    std::min<std::uint64_t>(field, file.size() - static_cast<std::size_t>(start)));
    FUZZ_EXPECT(wave.DurationMs() == TimeForBytes(format, bytes));
    FUZZ_EXPECT(wave.KilobitsPerSecond() == KilobitsPerSecond(format));
    FUZZ_EXPECT(!wave.AudioFormatText().empty());
    FUZZ_EXPECT(wave.HasFormat(format));
    const bool acquirable = bytes > 0;
    const int peak = wave.PeakPercent();
    FUZZ_EXPECT(peak >= -1 && peak <= 100);
    FUZZ_EXPECT((peak >= 0) == (acquirable && IsSupportedPCM(format)));

    const Bytes expected = acquirable ? Slice(file, start, start + bytes) : Bytes();
    for (const bool copy : {false, true}) {
        FUZZ_EXPECT(wave.AcquireData(buffer, copy) == acquirable);
        if (!acquirable) {
            FUZZ_EXPECT(buffer == nullptr);
            continue;
        }
        auto* memory = dynamic_cast<TMemoryStream*>(wave.Stream());
        const bool direct = memory != nullptr && buffer == memory->Memory() + start;
        FUZZ_EXPECT(direct == (inMemory && !copy));
        FUZZ_EXPECT(std::memcmp(buffer, expected.data(), bytes) == 0);
        FUZZ_EXPECT(wave.ReleaseData(buffer, false));
    }
    FUZZ_EXPECT(FileOf(wave) == file);
}

// The waves are equal files, and both keep the rules.
void CheckBoth(TWaveStreamAdapter& memory, TWaveStreamAdapter& plain) {
    CheckDetails(memory, true);
    CheckDetails(plain, false);
    FUZZ_EXPECT(FileOf(memory) == FileOf(plain));
}

// A rewrite produced this layout: RIFF, a "fmt " chunk with its pad byte (an
// 18 + cbSize one when `fresh`; then for PCM nothing follows it but "data"),
// and "data" with its pad byte, all sizes agreeing.
void CheckRewritten(TWaveStreamAdapter& wave, const Bytes& format, const Bytes& data, bool fresh) {
    FUZZ_EXPECT(wave.IsValidWave());
    FUZZ_EXPECT(wave.IsWellFormed());
    const WAVEFORMATEX* now = wave.FormatRecord();
    FUZZ_EXPECT(RecordOf(now) == format);
    const unsigned cb = now->cbSize;
    const std::size_t start = static_cast<std::size_t>(wave.DataStart());
    const Bytes file = FileOf(wave);
    const std::uint32_t fmt = Get32(file, 16);
    FUZZ_EXPECT(fmt >= 14 && 20 + std::size_t{fmt} + (fmt & 1) + 8 <= start);
    if (fresh) {
        FUZZ_EXPECT(fmt == sizeof(WAVEFORMATEX) + cb);
        FUZZ_EXPECT(now->wFormatTag != WAVE_FORMAT_PCM || start == 46 + cb + (cb & 1));
    }
    FUZZ_EXPECT(wave.DataBytes() == data.size());
    FUZZ_EXPECT(file.size() == start + data.size() + (data.size() & 1));
    FUZZ_EXPECT(Slice(file, start, start + data.size()) == data);
    FUZZ_EXPECT((data.size() & 1) == 0 || file.back() == 0);
    FUZZ_EXPECT(Get32(file, 4) == file.size() - 8);
    FUZZ_EXPECT(Get32(file, start - 4) == data.size());
}

// An edit in place left every byte of the file before the data as it was,
// except the size fields, and the data is `data`; the sizes agree now.
void CheckInPlace(TWaveStreamAdapter& wave, const Snapshot& before, const Bytes& data) {
    FUZZ_EXPECT(wave.IsValidWave());
    FUZZ_EXPECT(wave.IsWellFormed());
    FUZZ_EXPECT(RecordOf(wave.FormatRecord()) == before.format);
    FUZZ_EXPECT(wave.DataStart() == static_cast<std::int32_t>(before.dataStart));
    FUZZ_EXPECT(wave.DataBytes() == data.size());
    const Bytes file = FileOf(wave);
    const std::size_t start = before.dataStart;
    FUZZ_EXPECT(file.size() >= start + data.size());
    FUZZ_EXPECT(Slice(file, start, start + data.size()) == data);
    const bool rf64 = std::memcmp(file.data(), "RIFF", 4) != 0;
    for (std::size_t i = 0; i + 4 < start; ++i)
        if ((i < 4 || i >= 8) && (!rf64 || i < 20 || i >= 44))
            FUZZ_EXPECT(file[i] == before.file[i]);
}

// A step on one wave: `act` runs the edit; `expected` is null when the edit
// must be refused (false, the file unchanged), otherwise the data it must
// leave, in the old format, with the result true exactly when that data is
// not empty.
template <typename Act>
void CheckEdit(TWaveStreamAdapter& wave, const Snapshot& before,
               const std::optional<Bytes>& expected, Act act) {
    const bool result = act(wave);
    if (!expected) {
        FUZZ_EXPECT(!result);
        FUZZ_EXPECT(FileOf(wave) == before.file);
        return;
    }
    FUZZ_EXPECT(result == !expected->empty());
    CheckRewritten(wave, before.format, *expected, false);
}

// The same for an edit in place, which never empties the data.
template <typename Act>
void CheckEditInPlace(TWaveStreamAdapter& wave, const Snapshot& before,
                      const std::optional<Bytes>& expected, Act act) {
    const bool result = act(wave);
    FUZZ_EXPECT(result == expected.has_value());
    if (!expected)
        FUZZ_EXPECT(FileOf(wave) == before.file);
    else
        CheckInPlace(wave, before, *expected);
}

// --- what each edit must do -----------------------------------------------------------

std::optional<Bytes> RangeResult(const Snapshot& s, std::uint32_t startMs, std::uint32_t lengthMs,
                                 bool keep) {
    if (!s.Editable() || lengthMs == 0 || std::int64_t{startMs} >= s.duration || !s.acquirable)
        return std::nullopt;
    const std::optional<std::uint32_t> start = BytesFor(s.Format(), startMs);
    if (!start || *start >= s.dataBytes)
        return std::nullopt;
    const std::uint32_t end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(s.dataBytes, std::uint64_t{*start} + ClampedBytes(s, lengthMs)));
    if (keep)
        return Slice(s.data, *start, end);
    return Join({Slice(s.data, 0, *start), Slice(s.data, end, s.dataBytes)});
}

std::optional<Bytes> TrimEndResult(const Snapshot& s, std::uint32_t lengthMs) {
    if (!s.Editable() || s.duration < 0)
        return std::nullopt;
    const auto d = static_cast<std::uint32_t>(s.duration);
    lengthMs = std::min(lengthMs, d);
    return RangeResult(s, d - lengthMs, lengthMs, false);
}

std::optional<Bytes> SilenceResult(const Snapshot& s, std::uint32_t positionMs,
                                   std::uint32_t lengthMs) {
    if (!s.Pcm() || lengthMs == 0 || s.dataBytes == 0 || !s.acquirable)
        return std::nullopt;
    const std::optional<std::uint32_t> n = BytesFor(s.Format(), lengthMs);
    if (!n)
        return std::nullopt;
    const std::uint32_t p = ClampedBytes(s, positionMs);
    return Join({Slice(s.data, 0, p), Silence(s, *n), Slice(s.data, p, s.dataBytes)});
}

std::optional<Bytes> ConcatSelfResult(const Snapshot& s, std::uint32_t gapMs) {
    if (!s.Editable())
        return std::nullopt;
    Bytes gap;
    if (gapMs > 0) {
        const std::optional<std::uint32_t> n = BytesFor(s.Format(), gapMs);
        if (!n || !s.Pcm())
            return std::nullopt;
        gap = Silence(s, *n);
    }
    // A wave without data is refused before anything is written.
    if (!s.acquirable)
        return std::nullopt;
    return Join({s.data, gap, s.data});
}

std::optional<Bytes> InsertSelfResult(const Snapshot& s, std::uint32_t positionMs) {
    if (!s.Editable() || s.dataBytes == 0 || !s.acquirable)
        return std::nullopt;
    const std::uint32_t p = ClampedBytes(s, positionMs);
    return Join({Slice(s.data, 0, p), s.data, Slice(s.data, p, s.dataBytes)});
}

std::optional<Bytes> MixSelfResult(const Snapshot& s) {
    if (!s.Pcm())
        return std::nullopt;
    if (!s.acquirable)
        return Bytes();
    // The average of a wave with itself is the wave; a trailing partial
    // 16-bit value is not mixed and reads 0.
    Bytes mix = s.data;
    if (s.Format()->wBitsPerSample == 16 && mix.size() % 2)
        mix.back() = 0;
    return mix;
}

std::optional<Bytes> InvertResult(const Snapshot& s) {
    if (!s.Pcm() || !s.acquirable)
        return std::nullopt;
    // Frames trade places; the data is whole frames.
    const std::size_t frame = s.Format()->nBlockAlign;
    const std::size_t frames = s.data.size() / frame;
    Bytes data;
    for (std::size_t i = frames; i-- > 0;)
        data.insert(data.end(), s.data.begin() + static_cast<std::ptrdiff_t>(i * frame),
                    s.data.begin() + static_cast<std::ptrdiff_t>((i + 1) * frame));
    return data;
}

std::optional<Bytes> VolumeResult(const Snapshot& s, std::int32_t percent) {
    if (!s.Pcm() || !s.acquirable)
        return std::nullopt;
    const auto scale = [percent](std::int64_t v, std::int64_t low, std::int64_t high) {
        return std::clamp<std::int64_t>(v + v * percent / 100, low, high);
    };
    Bytes data = s.data;
    if (s.Format()->wBitsPerSample == 8) {
        for (std::uint8_t& b : data)
            b = static_cast<std::uint8_t>(scale(b - 128, -128, 127) + 128);
        return data;
    }
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(data[i] | (data[i + 1] << 8));
        const auto r = static_cast<std::uint16_t>(scale(v, -32767, 32767));
        data[i] = static_cast<std::uint8_t>(r);
        data[i + 1] = static_cast<std::uint8_t>(r >> 8);
    }
    return data;
}

// --- the steps ------------------------------------------------------------------------

// A reading phase: positioned by SeekData (clamped to the data start), it
// returns the stream's bytes up to its end, in pieces of the asked size.
void ReadThrough(TWaveStreamAdapter& wave, const Snapshot& s, std::int32_t offset,
                 std::int32_t piece) {
    FUZZ_EXPECT(wave.StartReading() == s.valid);
    if (!s.valid) {
        FUZZ_EXPECT(wave.ReadData(nullptr, 1) == -1);
        return;
    }
    FUZZ_EXPECT(!wave.StartReading());
    FUZZ_EXPECT(!wave.StartWriting(s.Format()));
    wave.SeekData(offset);
    const std::int64_t from =
        std::clamp<std::int64_t>(std::int64_t{s.dataStart} + offset, s.dataStart, kInt32Max);
    Bytes buffer(static_cast<std::size_t>(piece));
    std::int64_t at = from;
    for (;;) {
        const std::int32_t n = wave.ReadData(buffer.data(), piece);
        FUZZ_EXPECT(n >= 0 && n <= piece);
        if (n == 0)
            break;
        FUZZ_EXPECT(at + n <= static_cast<std::int64_t>(s.file.size()));
        FUZZ_EXPECT(std::memcmp(buffer.data(), s.file.data() + at, static_cast<std::size_t>(n)) ==
                    0);
        at += n;
    }
    FUZZ_EXPECT(at == std::max<std::int64_t>(from, static_cast<std::int64_t>(s.file.size())));
    FUZZ_EXPECT(wave.ReadData(buffer.data(), 0) == 0);
    FUZZ_EXPECT(wave.ReadData(buffer.data(), -piece) == 0);
    FUZZ_EXPECT(wave.StopReading());
    FUZZ_EXPECT(!wave.StopReading());
    FUZZ_EXPECT(wave.ReadData(buffer.data(), piece) == -1);
    FUZZ_EXPECT(FileOf(wave) == s.file);
}

// The file saved and loaded again is the same file with the same details.
void SaveAndReload(TWaveStreamAdapter& wave, const Snapshot& s) {
    TMemoryStream saved;
    wave.SaveToStream(saved);
    FUZZ_EXPECT(saved.Size() == static_cast<std::int64_t>(s.file.size()));
    FUZZ_EXPECT(s.file.empty() || std::memcmp(saved.Memory(), s.file.data(), s.file.size()) == 0);
    TWave copy;
    saved.SetPosition(0);
    FUZZ_EXPECT(copy.LoadFromStream(saved) == s.valid);
    FUZZ_EXPECT(FileOf(copy) == s.file);
    if (!s.valid)
        return;
    FUZZ_EXPECT(RecordOf(copy.FormatRecord()) == s.format);
    FUZZ_EXPECT(copy.DataStart() == static_cast<std::int32_t>(s.dataStart));
    FUZZ_EXPECT(copy.DataBytes() == s.dataBytes);
    const bool comparable = s.dataBytes == 0 || s.acquirable;
    FUZZ_EXPECT(copy.ContentEquals(wave) == comparable);
    FUZZ_EXPECT(wave.ContentEquals(copy) == comparable);
}

enum Step {
    stKeepRange,
    stDeleteRange,
    stTrimStart,
    stTrimEnd,
    stInsertSilence,
    stInvert,
    stChangeVolume,
    stConcatSelf,
    stConvertToPCM,
    stRead,
    stSaveAndReload,
    stInsertSelf,
    stMixSelf,
    stCount
};

const char* const kStepNames[stCount] = {
    "KeepRange",       "DeleteRange",  "TrimStart", "TrimEnd",      "InsertSilence",
    "Invert",          "ChangeVolume", "Concat",    "ConvertToPCM", "reading phase",
    "save and reload", "InsertWave",   "MixAverage"};

// Runs one step on both waves, after checking its arguments are affordable.
void RunStep(Step step, Tape& tape, TWaveStreamAdapter& memory, TWaveStreamAdapter& plain,
             std::string& trace) {
    const Snapshot s = Take(memory);
    const WAVEFORMATEX* format = s.valid ? s.Format() : nullptr;
    const auto both = [&](auto check) {
        check(memory);
        check(plain);
    };
    switch (step) {
    case stKeepRange:
    case stDeleteRange: {
        const std::uint32_t start = tape.Time(s.duration);
        const std::uint32_t length = tape.Time(s.duration);
        Note(trace, {start, length});
        const bool keep = step == stKeepRange;
        const std::optional<Bytes> expected = RangeResult(s, start, length, keep);
        both([&](TWaveStreamAdapter& w) {
            CheckEdit(w, s, expected, [&](TWaveStreamAdapter& x) {
                return keep ? x.KeepRange(start, length) : x.DeleteRange(start, length);
            });
        });
        break;
    }
    case stTrimStart:
    case stTrimEnd: {
        const std::uint32_t length = tape.Time(s.duration);
        Note(trace, {length});
        const bool front = step == stTrimStart;
        const std::optional<Bytes> expected =
            front ? RangeResult(s, 0, length, false) : TrimEndResult(s, length);
        both([&](TWaveStreamAdapter& w) {
            CheckEdit(w, s, expected, [&](TWaveStreamAdapter& x) {
                return front ? x.TrimStart(length) : x.TrimEnd(length);
            });
        });
        break;
    }
    case stInsertSilence: {
        const std::uint32_t position = tape.Time(s.duration);
        const std::uint32_t length = tape.Time(s.duration);
        Note(trace, {position, length});
        if (format && !Affordable(format, length, s.dataBytes)) {
            trace.append(" skipped");
            return;
        }
        const std::optional<Bytes> expected = SilenceResult(s, position, length);
        both([&](TWaveStreamAdapter& w) {
            CheckEdit(w, s, expected,
                      [&](TWaveStreamAdapter& x) { return x.InsertSilence(position, length); });
        });
        break;
    }
    case stInvert: {
        const std::optional<Bytes> expected = InvertResult(s);
        both([&](TWaveStreamAdapter& w) {
            CheckEditInPlace(w, s, expected, [](TWaveStreamAdapter& x) { return x.Invert(); });
        });
        break;
    }
    case stChangeVolume: {
        const std::int32_t percent = tape.Percent();
        Note(trace, {percent});
        const std::optional<Bytes> expected = VolumeResult(s, percent);
        both([&](TWaveStreamAdapter& w) {
            CheckEditInPlace(w, s, expected,
                             [&](TWaveStreamAdapter& x) { return x.ChangeVolume(percent); });
        });
        break;
    }
    case stConcatSelf: {
        const std::uint32_t gap = tape.Time(s.duration);
        Note(trace, {gap});
        if (format && !Affordable(format, gap, 2 * std::uint64_t{s.dataBytes})) {
            trace.append(" skipped");
            return;
        }
        const std::optional<Bytes> expected = ConcatSelfResult(s, gap);
        both([&](TWaveStreamAdapter& w) {
            CheckEdit(w, s, expected, [&](TWaveStreamAdapter& x) {
                TWaveStreamAdapter* const list[] = {&x, &x};
                return x.Concat(list, gap);
            });
        });
        break;
    }
    case stConvertToPCM: {
        const auto member = static_cast<TPCMFormat>(tape.Byte() % 22);
        Note(trace, {member});
        // A low source rate multiplies the data; ADPCM at most quadruples
        // the frames and 16-bit stereo makes 4 bytes of each.
        if (format && std::uint64_t{s.dataBytes} * 16 * 48000 /
                              std::max<std::uint32_t>(1, format->nSamplesPerSec) >
                          kAffordable) {
            trace.append(" skipped");
            return;
        }
        WAVEFORMATEX pcm{};
        MakePCMFormat(&pcm, member);
        const bool known = member != nonePCM && member <= Stereo16bit48000Hz;
        const bool already = known && s.valid && RecordOf(&pcm) == s.format;
        both([&](TWaveStreamAdapter& w) {
            const bool result = w.ConvertToPCM(member);
            if (!known || !s.valid)
                FUZZ_EXPECT(!result);
            if (already) {
                // Kept as it is when it needs no repair, else repaired in place.
                FUZZ_EXPECT(result);
                if (s.wellFormed)
                    FUZZ_EXPECT(FileOf(w) == s.file);
                else
                    CheckInPlace(w, s, s.data);
            } else if (result) {
                FUZZ_EXPECT(w.IsValidWave() && w.DataBytes() > 0);
                const auto start = static_cast<std::size_t>(w.DataStart());
                const Bytes data = Slice(FileOf(w), start, start + w.DataBytes());
                CheckRewritten(w, RecordOf(&pcm), data, true);
            } else {
                FUZZ_EXPECT(FileOf(w) == s.file);
            }
        });
        FUZZ_EXPECT(FileOf(memory) == FileOf(plain));
        break;
    }
    case stRead: {
        const auto offset = static_cast<std::int32_t>(tape.Time(s.duration));
        const std::int32_t piece = 1 + tape.Byte() * 17;
        Note(trace, {offset, piece});
        both([&](TWaveStreamAdapter& w) { ReadThrough(w, s, offset, piece); });
        break;
    }
    case stSaveAndReload:
        both([&](TWaveStreamAdapter& w) { SaveAndReload(w, s); });
        break;
    case stInsertSelf: {
        const std::uint32_t position = tape.Time(s.duration);
        Note(trace, {position});
        if (2 * std::uint64_t{s.dataBytes} > kAffordable) {
            trace.append(" skipped");
            return;
        }
        const std::optional<Bytes> expected = InsertSelfResult(s, position);
        both([&](TWaveStreamAdapter& w) {
            CheckEdit(w, s, expected,
                      [&](TWaveStreamAdapter& x) { return x.InsertWave(position, x); });
        });
        break;
    }
    case stMixSelf: {
        const std::optional<Bytes> expected = MixSelfResult(s);
        both([&](TWaveStreamAdapter& w) {
            CheckEdit(w, s, expected, [&](TWaveStreamAdapter& x) {
                TWaveStreamAdapter* const list[] = {&x, &x};
                return x.MixAverage(list);
            });
        });
        break;
    }
    case stCount:
        break;
    }
}

} // namespace

std::string RunWaveFuzzBody(const std::uint8_t* data, std::size_t size) {
    std::string trace = "load";
    try {
        TMemoryStream source;
        source.Write(data, static_cast<std::int64_t>(size));
        TWave memory;
        PlainStream plainStream;
        TWaveStreamAdapter plain(&plainStream, false);
        source.SetPosition(0);
        const bool valid = memory.LoadFromStream(source);
        source.SetPosition(0);
        FUZZ_EXPECT(plain.LoadFromStream(source) == valid);
        FUZZ_EXPECT(memory.IsValidWave() == valid);
        CheckBoth(memory, plain);

        Tape tape(data, size);
        const int steps = tape.Byte() % 8 + 1;
        for (int i = 0; i < steps; ++i) {
            const auto step = static_cast<Step>(tape.Byte() % stCount);
            trace.append(", ").append(kStepNames[step]);
            RunStep(step, tape, memory, plain, trace);
            CheckBoth(memory, plain);
        }
    } catch (const BrokenRule& broken) {
        return std::string("broken after ").append(trace).append(": ").append(broken.text);
    } catch (const std::exception& error) {
        return std::string("error raised after ").append(trace).append(": ").append(error.what());
    }
    return {};
}
