// The editing operations of TWaveStreamAdapter. Each works on the whole data
// chunk at once. Invert and ChangeVolume change the samples where they lie and
// leave the rest of the file as it was, its sizes repaired. The others rewrite
// the file with the source's own "fmt " chunk, a "fact" chunk for data other
// than PCM and the chunks that stay true after the edit, with sizes that agree
// with the data and a pad byte after odd data. Edits that do not grow the data
// work in the memory an in-memory wave already has; the others build the new
// data in a block of its own. Every edit refuses a wave whose format record
// contradicts itself, and every refusal leaves its reason in Refusal.
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
#include <string>
#include <vector>

#include "wave/WaveStorage.h"

namespace {

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
// length, capped at the data size; or why there is no such range: no data, a
// length of 0, a start at or beyond the end of the data.
struct ByteRange {
    std::uint32_t s = 0, e = 0;
    std::string why;
};
ByteRange RangeIn(const WAVEFORMATEX* format, std::uint32_t size, std::int32_t durationMs,
                  std::uint32_t startMs, std::uint32_t lengthMs) {
    ByteRange r;
    if (size == 0) {
        r.why = "it holds no sample data";
        return r;
    }
    if (lengthMs == 0) {
        r.why = "the length is 0 ms";
        return r;
    }
    r.s = BytesOrOverflow(format, startMs);
    if (std::int64_t{startMs} >= std::int64_t{durationMs} || r.s >= size) {
        r.why = "the start, " + std::to_string(startMs) + " ms, is not before its end at " +
                std::to_string(durationMs) + " ms";
        return r;
    }
    const std::uint64_t e = std::uint64_t{r.s} + BytesOrOverflow(format, lengthMs);
    r.e = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, e));
    return r;
}

std::string TooLarge() {
    return "the result would be larger than the " +
           std::to_string(TWaveStreamAdapter::kMaxDataBytes) + " bytes of data a wave can hold";
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

bool TWaveStreamAdapter::Rewrite(const THeaders& headers, const void* data, std::uint32_t size) {
    const TBytes piece[] = {{data, size}};
    return Rewrite(headers, piece);
}

bool TWaveStreamAdapter::Rewrite(const THeaders& headers, std::span<const TBytes> pieces) {
    if (phase_ != wpNone)
        return Refuse("the wave is being played or recorded");
    const std::uint32_t header = HeaderBytes(headers);
    std::uint64_t total = 0;
    for (const TBytes& piece : pieces)
        total += piece.size;
    const auto size = static_cast<std::uint32_t>(total);
    // The file is made in the memory of an in-memory wave, or for another
    // stream in memory of its own that is then written whole.
    auto* memory = dynamic_cast<TMemoryStream*>(stream_);
    TMemoryStream scratch;
    TMemoryStream& file = memory != nullptr ? *memory : scratch;
    // Nothing of the old file is kept (the pieces lie elsewhere): memory too
    // small is let go before the new is had, not copied into it.
    const std::int64_t needed = std::int64_t{header} + size + 1;
    if (file.Capacity() < needed) {
        InvalidateDetails();
        file.Clear();
    }
    file.Reserve(needed);
    std::uint8_t* to = file.Memory() + header;
    for (const TBytes& piece : pieces) {
        if (piece.size > 0)
            std::memcpy(to, piece.data, piece.size);
        to += piece.size;
    }
    if (memory != nullptr) {
        CompleteInMemory(*memory, headers, size);
    } else {
        TWaveStreamAdapter made(&scratch, false);
        made.CompleteInMemory(scratch, headers, size);
        InvalidateDetails();
        stream_->SetSize(0);
        stream_->Seek(0, soBeginning);
        stream_->Write(scratch.Memory(), scratch.Size());
        stream_->SetSize(scratch.Size());
        EnsureDetails();
    }
    return size > 0 ? true : Refuse("nothing would be left of its data");
}

// --- in place -----------------------------------------------------------------------

bool TWaveStreamAdapter::RewriteKeeping(std::span<const TDataPiece> pieces) {
    if (phase_ != wpNone)
        return Refuse("the wave is being played or recorded");
    if (!Editable())
        return false;
    const THeaders headers = EditHeaders();
    std::uint64_t total = 0;
    for (const TDataPiece& piece : pieces)
        total += piece.length;
    const auto size = static_cast<std::uint32_t>(total);
    auto* memory = dynamic_cast<TMemoryStream*>(stream_);
    if (memory == nullptr) {
        // Another stream: the pieces are gathered at the front of a copy.
        TLentWaveData data(*this, true);
        if (!data.Ok())
            return Refuse("its data cannot be read");
        std::uint32_t to = 0;
        for (const TDataPiece& piece : pieces) {
            std::memmove(data.Data() + to, data.Data() + piece.start, piece.length);
            to += piece.length;
        }
        return Rewrite(headers, data.Data(), size);
    }
    const std::uint32_t header = HeaderBytes(headers);
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
    CompleteInMemory(*memory, headers, size);
    return size > 0 ? true : Refuse("nothing would be left of its data");
}

bool TWaveStreamAdapter::ChangeSamples(const char* what, const TDataTransform& transform) {
    if (phase_ != wpNone)
        return Refuse("the wave is being played or recorded");
    if (!Editable())
        return false;
    if (!IsSupportedPCM(format_))
        return Refuse(std::string("only 8- and 16-bit PCM can be ") + what + "; it holds " +
                      DescribeFormat(format_));
    if (dataSize_ == 0)
        return Refuse("it holds no sample data");
    const std::vector<std::uint8_t> format = CopyOfFormat(format_);
    {
        TLentWaveData data(*this, false);
        if (!data.Ok())
            return Refuse("its data cannot be read");
        transform(data.Data(), data.Size(), AsFormat(format));
        if (!data.Release(true))
            return Refuse("its data cannot be written");
    }
    CheckSizes(true);
    InvalidateDetails();
    EnsureDetails();
    return true;
}

bool TWaveStreamAdapter::Invert() {
    return ChangeSamples("reversed",
                         [](std::uint8_t* data, std::uint32_t size, const WAVEFORMATEX* format) {
                             ReverseSamples(data, size, format);
                         });
}

bool TWaveStreamAdapter::ChangeVolume(std::int32_t percent) {
    return ChangeSamples("changed in volume", [percent](std::uint8_t* data, std::uint32_t size,
                                                        const WAVEFORMATEX* format) {
        ScaleSamples(data, size, format, percent);
    });
}

// --- ranges -------------------------------------------------------------------------

bool TWaveStreamAdapter::CopyRange(TWaveStreamAdapter& source, std::uint32_t startMs,
                                   std::uint32_t lengthMs) {
    if (&source == this)
        return KeepRange(startMs, lengthMs);
    if (!source.Editable())
        return Refuse(source.Refusal());
    const auto r =
        RangeIn(source.FormatRecord(), source.DataBytes(), source.DurationMs(), startMs, lengthMs);
    if (!r.why.empty())
        return Refuse(r.why);
    THeaders headers = source.EditHeaders();
    const TLentWaveData data(source, false);
    if (!data.Ok())
        return Refuse("its data cannot be read");
    return Rewrite(headers, data.Data() + r.s, r.e - r.s);
}

bool TWaveStreamAdapter::KeepRange(std::uint32_t startMs, std::uint32_t lengthMs) {
    if (!Editable())
        return false;
    const auto r = RangeIn(format_, dataSize_, DurationMs(), startMs, lengthMs);
    if (!r.why.empty())
        return Refuse(r.why);
    const TDataPiece kept[] = {{r.s, r.e - r.s}};
    return RewriteKeeping(kept);
}

bool TWaveStreamAdapter::DeleteRange(std::uint32_t startMs, std::uint32_t lengthMs) {
    if (!Editable())
        return false;
    const auto r = RangeIn(format_, dataSize_, DurationMs(), startMs, lengthMs);
    if (!r.why.empty())
        return Refuse(r.why);
    const TDataPiece kept[] = {{0, r.s}, {r.e, dataSize_ - r.e}};
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
        return Refuse("its length cannot be told");
    const auto d = static_cast<std::uint32_t>(duration);
    lengthMs = std::min(lengthMs, d);
    return DeleteRange(d - lengthMs, lengthMs);
}

// --- insertion ----------------------------------------------------------------------

bool TWaveStreamAdapter::InsertSilence(std::uint32_t positionMs, std::uint32_t lengthMs) {
    if (!Editable())
        return false;
    if (!IsSupportedPCM(format_))
        return Refuse("silence can be inserted only into 8- and 16-bit PCM; it holds " +
                      DescribeFormat(format_));
    if (dataSize_ == 0)
        return Refuse("it holds no sample data");
    if (lengthMs == 0)
        return Refuse("the length is 0 ms");
    const std::uint32_t n = BytesOrOverflow(format_, lengthMs);
    if (n == kOverflow || std::uint64_t{dataSize_} + n > kMaxDataBytes)
        return Refuse(TooLarge());
    const THeaders headers = EditHeaders();
    std::optional<Block> grown;
    std::uint32_t total = 0;
    {
        const TLentWaveData data(*this, false);
        if (!data.Ok())
            return Refuse("its data cannot be read");
        const std::uint32_t size = data.Size();
        const std::uint32_t p = ClampedBytes(positionMs, size);
        total = size + n;
        grown.emplace(total);
        std::memcpy(grown->get(), data.Data(), p);
        FillWithSilence(grown->get() + p, n, headers.Format());
        std::memcpy(grown->get() + p + n, data.Data() + p, size - p);
    }
    return Rewrite(headers, grown->get(), total);
}

bool TWaveStreamAdapter::InsertWave(std::uint32_t positionMs, TWaveStreamAdapter& source) {
    if (!Editable())
        return false;
    if (!HasSameFormat(source))
        return Refuse("the inserted wave is in another format");
    const THeaders headers = EditHeaders();
    std::optional<Block> grown;
    std::uint32_t total = 0;
    {
        const TLentWaveData data(*this, false);
        const TLentWaveData inserted(source, false);
        if (!data.Ok() || !inserted.Ok())
            return Refuse("it or the inserted wave holds no sample data");
        if (std::uint64_t{data.Size()} + inserted.Size() > kMaxDataBytes)
            return Refuse(TooLarge());
        const std::uint32_t size = data.Size();
        const std::uint32_t p = ClampedBytes(positionMs, size);
        total = size + inserted.Size();
        grown.emplace(total);
        std::memcpy(grown->get(), data.Data(), p);
        std::memcpy(grown->get() + p, inserted.Data(), inserted.Size());
        std::memcpy(grown->get() + p + inserted.Size(), data.Data() + p, size - p);
    }
    return Rewrite(headers, grown->get(), total);
}

// --- several waves ------------------------------------------------------------------

namespace {

std::string WaveOrdinal(int index) {
    static const char* const kNames[] = {"the first wave", "the second wave", "the third wave"};
    return index < 3 ? kNames[index] : "wave " + std::to_string(index + 1);
}

} // namespace

bool TWaveStreamAdapter::Concat(TWaveStreamAdapter* const* waves, int last, std::uint32_t gapMs) {
    if (waves == nullptr || last < 0)
        return Refuse("there is no wave to join");
    if (std::find(waves, waves + last + 1, nullptr) != waves + last + 1)
        return Refuse("a wave to join is missing");
    if (phase_ != wpNone)
        return Refuse("the wave is being played or recorded");
    for (int i = 0; i <= last; ++i)
        if (!waves[i]->Editable())
            return Refuse(WaveOrdinal(i) + ": " + waves[i]->Refusal());
    const THeaders headers = waves[0]->EditHeaders();
    const WAVEFORMATEX* fmt = headers.Format();
    // The bytes of a wave in another format would be read in this one.
    for (int i = 1; i <= last; ++i)
        if (!waves[i]->HasFormat(fmt))
            return Refuse(WaveOrdinal(i) + " is in another format than the first");

    // The silent gap is made of sample values, so only PCM can have one.
    std::vector<std::uint8_t> silence;
    if (gapMs > 0 && last >= 1) {
        if (!IsSupportedPCM(fmt))
            return Refuse("a silent gap can be made only in 8- and 16-bit PCM; the waves hold " +
                          DescribeFormat(fmt));
        const std::uint32_t gap = BytesOrOverflow(fmt, gapMs);
        if (gap == kOverflow || gap > kMaxDataBytes)
            return Refuse(TooLarge());
        silence.resize(gap);
        FillWithSilence(silence.data(), gap, fmt);
    }

    // Every input is taken before this wave's stream is rewritten; this wave
    // itself, if it is one of them, gives a copy.
    std::vector<std::unique_ptr<TLentWaveData>> inputs;
    std::uint64_t total = 0;
    for (int i = 0; i <= last; ++i) {
        inputs.push_back(std::make_unique<TLentWaveData>(*waves[i], waves[i] == this));
        if (!inputs.back()->Ok())
            return Refuse(WaveOrdinal(i) + " holds no sample data");
        total += inputs.back()->Size() + (i > 0 ? silence.size() : 0);
    }
    if (total > kMaxDataBytes)
        return Refuse(TooLarge());
    std::vector<TBytes> pieces;
    for (int i = 0; i <= last; ++i) {
        if (i > 0 && !silence.empty())
            pieces.push_back({silence.data(), static_cast<std::uint32_t>(silence.size())});
        pieces.push_back({inputs[i]->Data(), inputs[i]->Size()});
    }
    return Rewrite(headers, pieces);
}

bool TWaveStreamAdapter::MixAverage(TWaveStreamAdapter* const* waves, int last) {
    if (waves == nullptr || last < 0 || waves[0] == nullptr)
        return Refuse("there is no wave to mix");
    if (!waves[0]->Editable())
        return Refuse(waves[0]->Refusal());
    const THeaders headers = waves[0]->EditHeaders();
    const WAVEFORMATEX* fmt = headers.Format();
    if (!IsSupportedPCM(fmt))
        return Refuse("only 8- and 16-bit PCM can be mixed; the waves hold " + DescribeFormat(fmt));
    for (int i = 0; i <= last; ++i)
        if (waves[i] == nullptr || !waves[i]->HasFormat(fmt))
            return Refuse(WaveOrdinal(i) + " is in another format than the first");

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
    return Rewrite(headers, mix->get(), longest);
}
