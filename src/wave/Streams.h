// Byte streams for the wave engine: an abstract stream, a memory stream whose
// bytes can be reached directly, and a file stream. Stream failures raise
// EStreamError (or one of its kinds) with an English message that names the
// file and the reason, e.g. `Cannot open file "C:\x.wav": no such file`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// Memory that could not be had, and how much was asked for: "not enough
// memory for N bytes".
class EOutOfMemory : public std::bad_alloc {
public:
    explicit EOutOfMemory(std::uint64_t bytes);
    std::uint64_t Bytes() const { return bytes_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::uint64_t bytes_;
    std::string text_;
};

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // The bytes actually read or written (fewer at the end of the data or on
    // a full disk; a failing device raises EStreamError).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position and returns it. A position beyond the end is allowed
    // (reads there give 0 bytes; a write there first extends the stream); a
    // negative one raises EStreamError.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();
    // Cuts or extends the stream; the position is kept unless it lies beyond
    // the new end, where it moves to the end.
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    // Read or write exactly `count` bytes, or raise EReadError/EWriteError.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    // Copies `count` bytes from the source's position to this stream's
    // position; EReadError when the source has fewer.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

protected:
    // The name used in error messages.
    virtual std::string DisplayName() const { return "stream"; }
};

// Bytes in memory. Memory() points at Size() bytes that the caller may read
// and change in place; it stays valid until the size grows beyond Capacity().
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return size_; }
    void SetSize(std::int64_t size) override;

    std::uint8_t* Memory() { return memory_; }
    const std::uint8_t* Memory() const { return memory_; }
    std::int64_t Capacity() const { return capacity_; }
    // Makes room for at least `capacity` bytes without changing the size.
    void Reserve(std::int64_t capacity);
    // Size 0 and the memory released.
    void Clear();
    // Releases the memory and takes `block` (from malloc, released with free)
    // as the contents: `size` bytes of its `capacity` (at least `size`),
    // position 0.
    void Adopt(void* block, std::int64_t size, std::int64_t capacity);
    // Sets the size, up to the capacity, without touching the bytes: what the
    // memory holds beyond the old end becomes part of the stream. For
    // rewriting a stream in the memory it has.
    void Expose(std::int64_t size);
    // Replaces the contents with the rest of `source` (from its position),
    // read straight into memory sized once.
    void LoadFrom(TStream& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    void Grow(std::int64_t needed);
    void Release();

    std::uint8_t* memory_ = nullptr;
    bool paged_ = false;
    std::int64_t size_ = 0;
    std::int64_t capacity_ = 0;
    std::int64_t position_ = 0;
};

enum TFileMode {
    fmOpenRead,      // an existing file, read only, others may not write
    fmOpenReadWrite, // an existing file, read and write
    fmCreate,        // created or truncated, read and write
};

// A file on disk; names are Windows ANSI texts.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t size) override;

    const std::string& FileName() const { return fileName_; }

protected:
    TFileStream() = default;
    void Open(const std::string& fileName, TFileMode mode);
    void CloseFile();
    std::string DisplayName() const override;

    std::string fileName_;
    void* handle_ = nullptr;
};

// Writes a new file beside `fileName` and puts it in place of `fileName` only
// on Commit(), so a failed save leaves the old file as it was. Destroyed
// without Commit(), it removes what it wrote.
class TSafeFileStream : public TFileStream {
public:
    explicit TSafeFileStream(const std::string& fileName);
    ~TSafeFileStream() override;

    // Closes the new file and renames it over the destination; EStreamError
    // on failure (the new file is then removed).
    void Commit();
    const std::string& TempName() const { return tempName_; }

protected:
    std::string DisplayName() const override;

private:
    std::string target_;
    std::string tempName_;
};

// True when `fileName` names an existing regular file: not a folder, a
// device or a pipe. It reads nothing and never waits: a pipe is seen for what
// it is before anything could block on it. Every action that takes a file
// asks this first.
bool FileExists(const std::string& fileName);

// An English description of a system error code, e.g. "no such file".
std::string SystemErrorText(unsigned long code);
