// Wave objects over byte streams. TWaveStreamAdapter treats any stream as a
// RIFF WAVE file: it parses the header lazily and caches the format and the
// place of the sample data, offers reading and writing phases over the samples
// (players, recorders), whole-data access and editing, and loading and saving
// of the complete file. TWave owns an in-memory stream; TWaveStorage is a
// component holding a TWave.
//
// Failures are results (false, -1, null, empty text); only the streams raise
// errors (EStreamError, see Streams.h), e.g. for a file that cannot be opened.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "wave/Streams.h"
#include "wave/WaveUtils.h"

class TWaveStreamAdapter;

// Events receive the sending object first.
using TWaveNotifyEvent = std::function<void(TWaveStreamAdapter* Sender)>;

enum TWavePhase { wpNone, wpReading, wpWriting };

class TWaveStreamAdapter {
public:
    // The largest data a wave holds: the file's offsets must stay within the
    // 31 bits that the mmio functions address.
    static constexpr std::uint32_t kMaxDataBytes = 0x7FFFFF00;

    TWaveStreamAdapter(TStream* stream, bool ownsStream);
    TWaveStreamAdapter(const TWaveStreamAdapter&) = delete;
    TWaveStreamAdapter& operator=(const TWaveStreamAdapter&) = delete;
    // Ends an open phase as StopReading/StopWriting do; frees the stream when
    // it is owned.
    virtual ~TWaveStreamAdapter();

    // Copies the other wave's whole file (rewinding its stream first).
    virtual void Assign(TWaveStreamAdapter& source);

    TStream* Stream() const { return stream_; }
    bool OwnsStream() const { return ownsStream_; }
    void SetOwnsStream(bool owns) { ownsStream_ = owns; }
    TWavePhase Phase() const { return phase_; }

    // Raised once when the content starts to change.
    TWaveNotifyEvent OnBeforeChange;
    // Raised when the details were re-read after a change, and by Clear.
    TWaveNotifyEvent OnAfterChange;

    // --- details (parsed once per change) ---
    bool IsValidWave();
    // The cached format record, owned by the wave; null when not valid.
    PWaveFormatEx FormatRecord();
    // The sample data the file holds: as much of the data chunk as there is
    // in the stream, in whole blocks, whatever its size field claims.
    std::uint32_t DataBytes();
    std::int32_t DataStart();
    std::int32_t DurationMs();
    std::int32_t KilobitsPerSecond();
    std::string AudioFormatText();
    // Peak level of the whole data, 0..100; -1 when it cannot be computed.
    int PeakPercent();
    // The stream holds no bytes (nothing is parsed).
    bool IsEmpty();
    // Why the last operation that answered false refused, as a clause that
    // follows the file's name ("it holds no sample data"); after a parse that
    // found no valid wave, why it is not one. Empty when nothing was refused.
    const std::string& Refusal() const { return refusal_; }
    // The file needs no repair: its RIFF size, its data size (and an RF64
    // file's sample count) and the pad byte after odd data agree with the
    // bytes it holds.
    bool IsWellFormed();
    // Corrects in the file, leaving every other byte as it is, what
    // IsWellFormed finds wrong: a RIFF size or a data size that runs past the
    // end (the data is then what the file holds, in whole blocks), a missing
    // pad byte after odd data, an RF64 sample count of 0 (a writer to a pipe
    // leaves it). False (nothing changes) for an invalid wave or while a
    // phase is open.
    bool RepairSizes();

    // Re-reads the details when they are stale (never while writing) and
    // returns whether the stream holds a valid wave.
    virtual bool EnsureDetails();
    // The whole sample data. Without forceCopy an in-memory wave hands out a
    // pointer straight into its stream; otherwise a copy is allocated. False
    // (and null) for an invalid wave or empty data.
    virtual bool AcquireData(void*& buffer, bool forceCopy);
    // Gives back a buffer of AcquireData; a copy is written back first when
    // writeBack is set (the result then says whether all of it was written).
    virtual bool ReleaseData(void* buffer, bool writeBack);
    // Milliseconds to bytes in the cached format (the wave must be valid).
    virtual std::int32_t BytesForTime(std::int32_t ms);
    // Marks the details stale and raises OnBeforeChange, once per change.
    virtual void InvalidateDetails();
    // Raises OnAfterChange.
    virtual void NotifyChanged();

    virtual bool ContentEquals(TWaveStreamAdapter& other);
    virtual bool HasSameFormat(TWaveStreamAdapter& other);
    // Valid, and the first 18 + cbSize bytes of both records are equal.
    virtual bool HasFormat(const WAVEFORMATEX* format);

    // --- whole file ---
    // Replaces the stream's bytes with the rest of `source` (from its
    // position); returns IsValidWave.
    virtual bool LoadFromStream(TStream& source);
    virtual void SaveToStream(TStream& target);
    virtual bool LoadFromFile(const std::string& fileName);
    // Writes a new file beside the destination and replaces the destination
    // only when every byte is written.
    virtual void SaveToFile(const std::string& fileName);
    virtual void Clear();
    // Stale without events and without forgetting validity.
    virtual void MarkStale();
    // Cuts the stream after the sample data and its pad byte (empties an
    // invalid wave).
    virtual void CutAfterData();

    // --- editing (WaveEditing.cpp) ---
    // Times are unsigned milliseconds. Every range stays inside the data:
    // a start at or beyond the end (including one too large to convert to
    // bytes) is refused with false; a length or position too large to
    // convert, or reaching past the end, reaches to the end of the data.
    // Every edit refuses (false, nothing changes, Refusal says why) a wave
    // whose format record contradicts itself, and reports true only when the
    // result holds data.
    //
    // Invert and ChangeVolume change the samples where they are: every other
    // byte of the file stays, and RepairSizes corrects its sizes.
    // Frames of 8- and 16-bit PCM reversed in time (the channels stay).
    virtual bool Invert();
    // Samples of 8- and 16-bit PCM scaled by percent of their distance from
    // silence.
    virtual bool ChangeVolume(std::int32_t percent);
    // The edits that save a new wave (ranges, trims, insertions, Concat)
    // write the source's "fmt " chunk as it was, a "fact" chunk with the new
    // sample count unless its tag is PCM (an extensible record gets one), and
    // the source's chunks that stay true after an edit (see CarriedChunk);
    // they drop the others (cue points, sampler loops, a "fact" that counted
    // the old data).
    // Conversion (WaveACM.cpp): 8- and 16-bit PCM of one or two channels and
    // the coded formats through the audio compression manager; other PCM and
    // IEEE float, to 8- or 16-bit PCM, in our own code.
    bool ConvertToFormat(const WAVEFORMATEX* format);
    bool ConvertToPCM(TPCMFormat format);
    virtual bool CopyRange(TWaveStreamAdapter& source, std::uint32_t startMs,
                           std::uint32_t lengthMs);
    virtual bool KeepRange(std::uint32_t startMs, std::uint32_t lengthMs);
    virtual bool DeleteRange(std::uint32_t startMs, std::uint32_t lengthMs);
    virtual bool InsertWave(std::uint32_t positionMs, TWaveStreamAdapter& source);
    // A silence whose byte count does not fit 32 bits is refused (false).
    virtual bool InsertSilence(std::uint32_t positionMs, std::uint32_t lengthMs);
    virtual bool TrimStart(std::uint32_t lengthMs);
    virtual bool TrimEnd(std::uint32_t lengthMs);
    // waves[0..last] one after another in the first wave's format, with gapMs
    // of silence between neighbours. False without writing anything when
    // last < 0, the first wave is not valid, or a gap is asked for that does
    // not fit 32 bits or whose format is not 8/16-bit PCM (it has no silence).
    virtual bool Concat(TWaveStreamAdapter* const* waves, int last, std::uint32_t gapMs);
    // The sample average of waves[0..last], all in the first wave's format.
    virtual bool MixAverage(TWaveStreamAdapter* const* waves, int last);
    bool Concat(std::span<TWaveStreamAdapter* const> waves, std::uint32_t gapMs) {
        return Concat(waves.data(), static_cast<int>(waves.size()) - 1, gapMs);
    }
    bool MixAverage(std::span<TWaveStreamAdapter* const> waves) {
        return MixAverage(waves.data(), static_cast<int>(waves.size()) - 1);
    }

    // --- writing phase ---
    // Empties the stream and writes the RIFF, "fmt " and "data" headers.
    // False (stream untouched) while a phase is open or without a record.
    virtual bool StartWriting(const WAVEFORMATEX* format);
    // Completes the sizes and cuts the stream after the data.
    virtual bool StopWriting();
    // Bytes appended; -1 outside a writing phase.
    virtual std::int32_t WriteData(const void* buffer, std::int32_t count);

    // --- reading phase ---
    virtual bool StartReading();
    virtual bool StopReading();
    // The stream's bytes from the current position (not bounded by the data
    // chunk); 0 at the end, -1 outside a reading phase.
    virtual std::int32_t ReadData(void* buffer, std::int32_t count);
    // Moves an open phase to DataStart + offset; nothing without a phase.
    void SeekData(std::int32_t offset);

    // What a rewrite puts before the data: the "fmt " chunk's contents, a
    // "fact" chunk when `fact` is set, whole chunks carried over from the
    // source, and the record of the data's format (which times the data and
    // counts the samples of the "fact" chunk).
    struct THeaders {
        std::vector<std::uint8_t> fmt;
        bool fact = false;
        std::vector<std::uint8_t> carried;
        std::vector<std::uint8_t> record;
        const WAVEFORMATEX* Format() const {
            return reinterpret_cast<const WAVEFORMATEX*>(record.data());
        }
    };
    // Fresh headers for data in `format`: its record as the "fmt " chunk, a
    // "fact" chunk unless it is PCM, nothing carried.
    static THeaders FreshHeaders(const WAVEFORMATEX* format);
    // The bytes of the headers: the RIFF header, the "fmt " chunk (padded to
    // an even length), the "fact" chunk, the carried chunks and the "data"
    // header.
    static std::uint32_t HeaderBytes(const THeaders& headers);
    // The chunks of a source that an edit keeps: "LIST" of type "INFO"
    // (title, artist and the like), "bext" (a broadcast description),
    // "iXML", "id3 " and "ID3 " tags. Their texts say nothing about the
    // positions of the samples.
    static bool CarriedChunk(FOURCC id, FOURCC listType);

protected:
    // A run of the data's bytes, from an offset into the data.
    struct TDataPiece {
        std::uint32_t start;
        std::uint32_t length;
    };
    using TDataTransform =
        std::function<void(std::uint8_t* data, std::uint32_t size, const WAVEFORMATEX* format)>;

    // A valid wave whose format record agrees with itself: what every edit
    // requires of the wave it works on. Sets Refusal when it is not.
    bool Editable();
    // Sets Refusal to `why`; false.
    bool Refuse(std::string why);
    // The headers that an edit of this (editable) wave writes: its own "fmt "
    // chunk, a "fact" chunk unless that chunk's tag is PCM, the chunks it
    // carries.
    THeaders EditHeaders();
    // Rewrites the wave with `headers` and `size` bytes of `data`; true when
    // more than 0 bytes were written.
    bool Rewrite(const THeaders& headers, const void* data, std::uint32_t size);
    // The same with the data in pieces, one after another; none may lie in
    // this wave's own stream.
    struct TBytes {
        const void* data;
        std::uint32_t size;
    };
    bool Rewrite(const THeaders& headers, std::span<const TBytes> pieces);
    // Rewrites the wave, with EditHeaders, with the given pieces of its own
    // data one after another. An in-memory wave does it in the memory it has:
    // the pieces move into place behind the new headers, nothing else is
    // allocated. True when the result holds data.
    bool RewriteKeeping(std::span<const TDataPiece> pieces);
    // The whole data of 8- or 16-bit PCM changed in place by `transform`,
    // then RepairSizes; `what` names the change for a refusal.
    bool ChangeSamples(const char* what, const TDataTransform& transform);
    // Makes `memory`, this wave's stream, the file whose `dataBytes` bytes of
    // data lie at HeaderBytes(headers): writes the headers in front of them
    // and a pad byte after odd data, sets the size and reads the details
    // again. The memory must have room for the pad byte.
    void CompleteInMemory(TMemoryStream& memory, const THeaders& headers, std::uint32_t dataBytes);
    // Byte offset of a time in the cached format, clamped to `limit`.
    std::uint32_t ClampedBytes(std::uint32_t ms, std::uint32_t limit);

private:
    bool Parse();
    bool ParseRiff(std::int64_t streamSize);
    bool ParseRf64(std::int64_t streamSize);
    // The "fmt " chunk's contents become the cached record (and the layout's
    // copy); false when they are too short.
    bool TakeFormat(const std::uint8_t* contents, std::uint32_t size);
    // The data chunk at `start` with the size its header states.
    void TakeData(std::int64_t start, std::uint64_t size, std::int64_t streamSize);
    void FreeFormat();
    void FinishWriting();
    // The size fields as RepairSizes would set them; `apply` writes them.
    bool CheckSizes(bool apply);
    // The carried chunks (CarriedChunk) of the parsed file, one after another.
    std::vector<std::uint8_t> CarriedChunks();

    TStream* stream_;
    bool ownsStream_;
    bool stale_ = true;
    bool valid_ = false;
    std::uint32_t dataSize_ = 0;
    std::int32_t dataStart_ = 0;
    PWaveFormatEx format_ = nullptr;
    // Where the parsed file keeps what an edit writes back or repairs.
    struct TLayout {
        std::vector<std::uint8_t> fmt; // the "fmt " chunk's contents
        bool rf64 = false;             // RF64/BW64: the sizes are 64-bit, in "ds64"
        std::uint32_t riffSizeAt = 4;  // offset of the RIFF size
        std::uint32_t dataSizeAt = 0;  // offset of the data size
        bool dataWide = false;         // the data size is the 64-bit one of "ds64"
        bool ds64 = false;             // RF64/BW64, with the sample count of "ds64"
        std::uint64_t samples = 0;     // that count
        std::uint64_t riffSize = 0;    // the sizes the file states
        std::uint64_t dataSize = 0;
    } layout_;
    std::string refusal_;
    std::string invalidReason_;
    TWavePhase phase_ = wpNone;
    MMCKINFO riffChunk_{};
    MMCKINFO dataChunk_{};
    HMMIO mmio_ = nullptr;
};

// The whole sample data of a wave, lent for the time of a scope: taken with
// AcquireData when made, given back with ReleaseData (without write-back) when
// it goes, unless Release gave it back earlier. Without forceCopy an in-memory
// wave lends a pointer straight into its stream, which stays good only until
// that stream changes; with it, a copy of its own.
class TLentWaveData {
public:
    TLentWaveData(TWaveStreamAdapter& wave, bool forceCopy);
    TLentWaveData(const TLentWaveData&) = delete;
    TLentWaveData& operator=(const TLentWaveData&) = delete;
    ~TLentWaveData();

    // False when the wave is not valid, holds no data or cannot lend it.
    bool Ok() const { return data_ != nullptr; }
    std::uint8_t* Data() const { return data_; }
    std::uint32_t Size() const { return size_; }
    // Gives the data back now, a copy written back first when `writeBack` is
    // set; the result of ReleaseData (false when nothing is lent).
    bool Release(bool writeBack);

private:
    TWaveStreamAdapter& wave_;
    std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
};

// A wave in memory, in a stream of its own.
class TWave : public TWaveStreamAdapter {
public:
    TWave();
    TMemoryStream& MemoryStream() { return *static_cast<TMemoryStream*>(Stream()); }
};

class TCustomWaveStorage;
using TStorageFreeEvent = std::function<void(TCustomWaveStorage* Sender)>;

// A component that stores a wave for players and recorders.
class TCustomWaveStorage {
public:
    TCustomWaveStorage() = default;
    TCustomWaveStorage(const TCustomWaveStorage&) = delete;
    TCustomWaveStorage& operator=(const TCustomWaveStorage&) = delete;
    // Tells every registered component that this one is being freed.
    virtual ~TCustomWaveStorage();

    // The stream holding the stored wave (callers pass 0).
    virtual TStream* GetWaveStream(std::int32_t index) = 0;
    virtual bool ContentEquals(TCustomWaveStorage& other) = 0;

    // Components that refer to this one register here to be told when it is
    // freed; `key` identifies the registration for removal.
    void FreeNotification(const void* key, TStorageFreeEvent onFree);
    void RemoveFreeNotification(const void* key);

protected:
    // Tells the registered components now; a storage calls it first thing in
    // its destructor, so that they can still finish with its wave.
    void SendFreeNotifications();

private:
    std::vector<std::pair<const void*, TStorageFreeEvent>> freeNotifications_;
};

// A weak reference to a storage, as players and recorders keep their Stock:
// cleared when the storage is freed, after `onFree` has been told.
class TStorageLink {
public:
    explicit TStorageLink(TStorageFreeEvent onFree) : onFree_(std::move(onFree)) {}
    ~TStorageLink() { Set(nullptr); }
    TStorageLink(const TStorageLink&) = delete;
    TStorageLink& operator=(const TStorageLink&) = delete;

    TCustomWaveStorage* Get() const { return storage_; }
    void Set(TCustomWaveStorage* storage);

private:
    TCustomWaveStorage* storage_ = nullptr;
    TStorageFreeEvent onFree_;
};

class TWaveStorage : public TCustomWaveStorage {
public:
    TWaveStorage();
    ~TWaveStorage() override;

    TWave* Wave() { return wave_; }
    // Copies: another wave is rewound and loaded, null clears, the own wave
    // does nothing.
    void SetWave(TWaveStreamAdapter* wave);
    void Assign(TWaveStorage& source) { SetWave(source.Wave()); }

    TStream* GetWaveStream(std::int32_t index) override;
    bool ContentEquals(TCustomWaveStorage& other) override;

    // Component persistence of the "Data" property: the raw file bytes,
    // present only when the wave's stream is not empty.
    bool HasDataProperty();
    void WriteDataProperty(TStream& target);
    void ReadDataProperty(TStream& source);

private:
    TWave* wave_;
};
