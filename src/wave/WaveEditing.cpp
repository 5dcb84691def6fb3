// The editing operations of TWaveStreamAdapter. Each works on the whole data
// chunk at once and rewrites the file in the wave's own format, which keeps
// only the "fmt " and "data" chunks, with sizes that agree with the data and a
// pad byte after odd data. Edits that do not grow the data (Invert,
// ChangeVolume, the ranges and trims) work in the memory an in-memory wave
// already has; the others build the new data in a block of its own. Every
// edit refuses a wave whose format record contradicts itself.
//
// Ranges never leave the data: times are unsigned; a time too large to turn
// into bytes (beyond 2^31 - 1 ms, or a byte count that overflows) counts as
// lying beyond the end. So a start there is refused (false, nothing changes),
// while a length or insert position there reaches to the end of the data. The
// end of a range is start bytes + length bytes, capped at the data size.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "wave/WaveStorage.h"

namespace {

// The largest data an edit produces: the file's offsets must stay within the
// 31 bits that the mmio functions address.
constexpr std::uint64_t kMaxDataBytes = 0x7FFFFF00;

constexpr std::uint32_t kOverflow = std::numeric_limits<std::uint32_t>::max();

// Bytes for a time in `format`, or kOverflow when the time or its byte count
// does not fit 31 bits.
std::uint32_t BytesOrOverflow(const WAVEFORMATEX* format, std::uint32_t ms) {
    if (ms > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return kOverflow;
    const std::int32_t bytes = BytesForTime(format, static_cast<std::int32_t>(ms));
    return bytes < 0 ? kOverflow : static_cast<std::uint32_t>(bytes);
}

// The bytes [s, e) of a range: s for the start, e = s + the bytes for the
// length, capped at the data size. None when the start lies at or beyond the
// end of the data.
struct ByteRange {
    std::uint32_t s, e;
};
std::optional<ByteRange> RangeIn(const WAVEFORMATEX* format, std::uint32_t size,
                                 std::uint32_t startMs, std::uint32_t lengthMs) {
    const std::uint32_t s = BytesOrOverflow(format, startMs);
    if (s >= size)
        return std::nullopt;
    const std::uint64_t e = std::uint64_t{s} + BytesOrOverflow(format, lengthMs);
    return ByteRange{s, static_cast<std::uint32_t>(std::min<std::uint64_t>(size, e))};
}

// A copy of a format record with its extra bytes.
std::vector<std::uint8_t> CopyOfFormat(const WAVEFORMATEX* format) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(format);
    return {bytes, bytes + sizeof(WAVEFORMATEX) + format->cbSize};
}

const WAVEFORMATEX* AsFormat(const std::vector<std::uint8_t>& record) {
    return reinterpret_cast<const WAVEFORMATEX*>(record.data());
}

// Scratch memory for a new data chunk: a memory stream's block, so that a
// large one is page memory that is cheap to fill.
class Block {
public:
    Block() = default;
    explicit Block(std::uint32_t size) { scratch_.Reserve(std::max<std::uint32_t>(size, 1)); }
    std::uint8_t* get() { return scratch_.Memory(); }

private:
    TMemoryStream scratch_;
};

} // namespace

std::uint32_t TWaveStreamAdapter::ClampedBytes(std::uint32_t ms, std::uint32_t limit) {
    return std::min(BytesOrOverflow(format_, ms), limit);
}

bool TWaveStreamAdapter::Rewrite(const WAVEFORMATEX* format, const void* data, std::uint32_t size) {
    if (!StartWriting(format))
        return false;
    std::int64_t written = 0;
    try {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        while (written < size) {
            const auto piece =
                static_cast<std::int32_t>(std::min<std::int64_t>(size - written, 0x40000000));
            const std::int32_t n = WriteData(bytes + written, piece);
            if (n <= 0)
                break;
            written += n;
        }
    } catch (...) {
        StopWriting();
        throw;
    }
    StopWriting();
    return written > 0;
}

// --- in place -----------------------------------------------------------------------

bool TWaveStreamAdapter::RewriteKeeping(std::span<const TDataPiece> pieces,
                                        const TDataTransform& transform) {
    if (phase_ != wpNone || !Editable())
        return false;
    const std::vector<std::uint8_t> format = CopyOfFormat(format_);
    std::uint64_t total = 0;
    for (const TDataPiece& piece : pieces)
        total += piece.length;
    const auto size = static_cast<std::uint32_t>(total);
    auto* memory = dynamic_cast<TMemoryStream*>(stream_);
    if (memory == nullptr) {
        // Another stream: the pieces are gathered at the front of a copy.
        TLentWaveData data(*this, true);
        if (!data.Ok())
            return false;
        std::uint32_t to = 0;
        for (const TDataPiece& piece : pieces) {
            std::memmove(data.Data() + to, data.Data() + piece.start, piece.length);
            to += piece.length;
        }
        if (transform)
            transform(data.Data(), size, AsFormat(format));
        return Rewrite(AsFormat(format), data.Data(), size);
    }
    const std::uint32_t header = HeaderBytes(AsFormat(format));
    memory->Reserve(std::int64_t{header} + size + 1);
    std::uint8_t* base = memory->Memory();
    // Each piece moves to its place behind the new headers. Places lie in
    // the order of the pieces, and each piece moves at most as far up as the
    // one before it: pieces that move down go first, front to back, then
    // those that move up, back to front, so none lands on bytes still to move.
    // Pieces already in place (a rewritten file's data) stay.
    struct Move {
        std::uint64_t from, to, length;
    };
    std::vector<Move> moves;
    std::uint64_t to = header;
    for (const TDataPiece& piece : pieces) {
        moves.push_back({std::uint64_t{static_cast<std::uint32_t>(dataStart_)} + piece.start, to,
                         piece.length});
        to += piece.length;
    }
    for (const Move& m : moves)
        if (m.to < m.from)
            std::memmove(base + m.to, base + m.from, m.length);
    for (auto m = moves.rbegin(); m != moves.rend(); ++m)
        if (m->to > m->from)
            std::memmove(base + m->to, base + m->from, m->length);
    if (transform)
        transform(base + header, size, AsFormat(format));
    CompleteInMemory(*memory, AsFormat(format), size);
    return size > 0;
}

bool TWaveStreamAdapter::RewriteSamples(const TDataTransform& transform) {
    if (!Editable() || !IsSupportedPCM(format_) || dataSize_ == 0)
        return false;
    const TDataPiece all[] = {{0, dataSize_}};
    return RewriteKeeping(all, transform);
}

bool TWaveStreamAdapter::Invert() {
    return RewriteSamples([](std::uint8_t* data, std::uint32_t size, const WAVEFORMATEX* format) {
        ReverseSamples(data, size, format);
    });
}

bool TWaveStreamAdapter::ChangeVolume(std::int32_t percent) {
    return RewriteSamples(
        [percent](std::uint8_t* data, std::uint32_t size, const WAVEFORMATEX* format) {
            ScaleSamples(data, size, format, percent);
        });
}

// --- ranges -------------------------------------------------------------------------

bool TWaveStreamAdapter::CopyRange(TWaveStreamAdapter& source, std::uint32_t startMs,
                                   std::uint32_t lengthMs) {
    if (&source == this)
        return KeepRange(startMs, lengthMs);
    if (!source.Editable() || lengthMs == 0 ||
        std::int64_t{startMs} >= std::int64_t{source.DurationMs()})
        return false;
    const std::vector<std::uint8_t> format = CopyOfFormat(source.FormatRecord());
    const TLentWaveData data(source, false);
    if (!data.Ok())
        return false;
    const auto r = RangeIn(AsFormat(format), data.Size(), startMs, lengthMs);
    return r && Rewrite(AsFormat(format), data.Data() + r->s, r->e - r->s);
}

bool TWaveStreamAdapter::KeepRange(std::uint32_t startMs, std::uint32_t lengthMs) {
    if (!Editable() || lengthMs == 0 || std::int64_t{startMs} >= std::int64_t{DurationMs()})
        return false;
    const auto r = RangeIn(format_, dataSize_, startMs, lengthMs);
    if (!r)
        return false;
    const TDataPiece kept[] = {{r->s, r->e - r->s}};
    return RewriteKeeping(kept);
}

bool TWaveStreamAdapter::DeleteRange(std::uint32_t startMs, std::uint32_t lengthMs) {
    if (!Editable() || lengthMs == 0 || std::int64_t{startMs} >= std::int64_t{DurationMs()})
        return false;
    const auto r = RangeIn(format_, dataSize_, startMs, lengthMs);
    if (!r)
        return false;
    const TDataPiece kept[] = {{0, r->s}, {r->e, dataSize_ - r->e}};
    return RewriteKeeping(kept);
}

bool TWaveStreamAdapter::TrimStart(std::uint32_t lengthMs) {
    return DeleteRange(0, lengthMs);
}

bool TWaveStreamAdapter::TrimEnd(std::uint32_t lengthMs) {
    if (!Editable())
        return false;
    const std::int32_t duration = DurationMs();
    if (duration < 0)
        return false;
    const auto d = static_cast<std::uint32_t>(duration);
    lengthMs = std::min(lengthMs, d);
    return DeleteRange(d - lengthMs, lengthMs);
}

// --- insertion ----------------------------------------------------------------------

bool TWaveStreamAdapter::InsertSilence(std::uint32_t positionMs, std::uint32_t lengthMs) {
    if (!Editable() || lengthMs == 0 || dataSize_ == 0 || !IsSupportedPCM(format_))
        return false;
    const std::uint32_t n = BytesOrOverflow(format_, lengthMs);
    if (n == kOverflow || std::uint64_t{dataSize_} + n > kMaxDataBytes)
        return false;
    const std::vector<std::uint8_t> format = CopyOfFormat(format_);
    std::optional<Block> grown;
    std::uint32_t total = 0;
    {
        const TLentWaveData data(*this, false);
        if (!data.Ok())
            return false;
        const std::uint32_t size = data.Size();
        const std::uint32_t p = ClampedBytes(positionMs, size);
        total = size + n;
        grown.emplace(total);
        std::memcpy(grown->get(), data.Data(), p);
        FillWithSilence(grown->get() + p, n, AsFormat(format));
        std::memcpy(grown->get() + p + n, data.Data() + p, size - p);
    }
    return Rewrite(AsFormat(format), grown->get(), total);
}

bool TWaveStreamAdapter::InsertWave(std::uint32_t positionMs, TWaveStreamAdapter& source) {
    if (!Editable() || !HasSameFormat(source) || dataSize_ == 0)
        return false;
    const std::vector<std::uint8_t> format = CopyOfFormat(format_);
    std::optional<Block> grown;
    std::uint32_t total = 0;
    {
        const TLentWaveData data(*this, false);
        const TLentWaveData inserted(source, false);
        if (!data.Ok() || !inserted.Ok() ||
            std::uint64_t{data.Size()} + inserted.Size() > kMaxDataBytes)
            return false;
        const std::uint32_t size = data.Size();
        const std::uint32_t p = ClampedBytes(positionMs, size);
        total = size + inserted.Size();
        grown.emplace(total);
        std::memcpy(grown->get(), data.Data(), p);
        std::memcpy(grown->get() + p, inserted.Data(), inserted.Size());
        std::memcpy(grown->get() + p + inserted.Size(), data.Data() + p, size - p);
    }
    return Rewrite(AsFormat(format), grown->get(), total);
}

// --- several waves ------------------------------------------------------------------

bool TWaveStreamAdapter::Concat(TWaveStreamAdapter* const* waves, int last, std::uint32_t gapMs) {
    if (waves == nullptr || last < 0 ||
        std::find(waves, waves + last + 1, nullptr) != waves + last + 1 || !waves[0]->Editable())
        return false;
    const std::vector<std::uint8_t> format = CopyOfFormat(waves[0]->FormatRecord());
    const WAVEFORMATEX* fmt = AsFormat(format);
    // The bytes of a wave in another format would be read in this one.
    for (int i = 1; i <= last; ++i)
        if (!waves[i]->HasFormat(fmt))
            return false;

    // The silent gap is made of sample values, so only PCM can have one.
    std::vector<std::uint8_t> silence;
    if (gapMs > 0 && last >= 1) {
        const std::uint32_t gap = BytesOrOverflow(fmt, gapMs);
        if (gap == kOverflow || !IsSupportedPCM(fmt) || gap > kMaxDataBytes)
            return false;
        silence.resize(gap);
        FillWithSilence(silence.data(), gap, fmt);
    }

    // Every input is taken before this wave's stream is emptied; this wave
    // itself, if it is one of them, gives a copy.
    std::vector<std::unique_ptr<TLentWaveData>> inputs;
    std::uint64_t total = 0;
    for (int i = 0; i <= last; ++i) {
        inputs.push_back(std::make_unique<TLentWaveData>(*waves[i], waves[i] == this));
        total += inputs.back()->Size() + (i > 0 ? silence.size() : 0);
    }
    if (total > kMaxDataBytes)
        return false;

    if (!StartWriting(fmt))
        return false;
    bool ok = true;
    try {
        if (auto* memory = dynamic_cast<TMemoryStream*>(Stream()))
            memory->Reserve(memory->Size() + static_cast<std::int64_t>(total) + 1);
        for (int i = 0; i <= last && ok; ++i) {
            if (i > 0 && !silence.empty())
                WriteData(silence.data(), static_cast<std::int32_t>(silence.size()));
            if (!inputs[i]->Ok()) {
                ok = false;
                break;
            }
            WriteData(inputs[i]->Data(), static_cast<std::int32_t>(inputs[i]->Size()));
        }
    } catch (...) {
        StopWriting();
        throw;
    }
    StopWriting();
    return ok;
}

bool TWaveStreamAdapter::MixAverage(TWaveStreamAdapter* const* waves, int last) {
    if (waves == nullptr || last < 0 || waves[0] == nullptr || !waves[0]->Editable())
        return false;
    const std::vector<std::uint8_t> format = CopyOfFormat(waves[0]->FormatRecord());
    const WAVEFORMATEX* fmt = AsFormat(format);
    if (!IsSupportedPCM(fmt))
        return false;
    for (int i = 0; i <= last; ++i)
        if (waves[i] == nullptr || !waves[i]->HasFormat(fmt))
            return false;

    std::optional<Block> mix;
    std::uint32_t longest = 0;
    {
        std::vector<std::unique_ptr<TLentWaveData>> held;
        std::vector<TMixInput> inputs;
        for (int i = 0; i <= last; ++i) {
            held.push_back(std::make_unique<TLentWaveData>(*waves[i], false));
            inputs.push_back({held.back()->Data(), held.back()->Size()});
            longest = std::max(longest, held.back()->Size());
        }
        mix.emplace(longest);
        std::memset(mix->get(), 0, longest);
        MixSamples(inputs.data(), last + 1, fmt, mix->get(), longest);
    }
    return Rewrite(fmt, mix->get(), longest);
}
