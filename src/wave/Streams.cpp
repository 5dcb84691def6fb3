#include "wave/Streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/Platform.h"

namespace {

// Large transfers go to the system in pieces a DWORD can count.
constexpr std::int64_t kMaxTransfer = 0x40000000;

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

[[noreturn]] void ThrowLastError(const char* what, const std::string& name, bool open) {
    const std::string text =
        std::string(what) + " " + Quoted(name) + ": " + SystemErrorText(GetLastError());
    if (open)
        throw EFOpenError(text);
    throw EFCreateError(text);
}

// The folder part of a file name, with its separator ("" for none).
std::string FolderOf(const std::string& name) {
    const auto cut = name.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

} // namespace

std::string SystemErrorText(unsigned long code) {
    switch (code) {
    case ERROR_SUCCESS:
        return "no error";
    case ERROR_FILE_NOT_FOUND:
        return "no such file";
    case ERROR_PATH_NOT_FOUND:
        return "no such folder";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "too many open files";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return "out of memory";
    case ERROR_WRITE_PROTECT:
        return "the disk is write-protected";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "the file is in use";
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return "the disk is full";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return "the file exists";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return "invalid file name";
    case ERROR_FILENAME_EXCED_RANGE:
        return "the file name is too long";
    default:
        return "system error " + std::to_string(code);
    }
}

EOutOfMemory::EOutOfMemory(std::uint64_t bytes)
    : bytes_(bytes), text_("not enough memory for " + std::to_string(bytes) + " bytes") {}

bool FileExists(const std::string& fileName) {
    if (fileName.empty())
        return false;
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    // Devices may look like files by their attributes; a handle without any
    // access, which no open blocks on, tells what the name is.
    HANDLE h =
        CreateFileA(fileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true; // there, but not to be had now: the open that reads it says why
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    return type == FILE_TYPE_DISK;
}

// --- TStream ---------------------------------------------------------------------

std::int64_t TStream::Size() {
    const std::int64_t position = Seek(0, soCurrent);
    const std::int64_t end = Seek(0, soEnd);
    Seek(position, soBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count > 0 && Read(buffer, count) != count)
        throw EReadError("Cannot read " + DisplayName() + ": the data ends too early");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count > 0 && Write(buffer, count) != count)
        throw EWriteError("Cannot write " + DisplayName() + ": the data could not all be written");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count <= 0)
        return 0;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
        // Straight from the source's memory, without a staging buffer.
        const std::int64_t position = memory->Position();
        if (position + count > memory->Size())
            throw EReadError("Cannot read " + source.DisplayName() + ": the data ends too early");
        WriteBuffer(memory->Memory() + position, count);
        memory->Seek(count, soCurrent);
        return count;
    }
    const std::int64_t chunk = std::min<std::int64_t>(count, 1 << 20);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[static_cast<std::size_t>(chunk)]);
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t n = std::min(left, chunk);
        source.ReadBuffer(buffer.get(), n);
        WriteBuffer(buffer.get(), n);
        left -= n;
    }
    return count;
}

// --- TMemoryStream ---------------------------------------------------------------

namespace {

// Blocks from this size on are page memory of their own, which the system
// can back with huge pages: loading a large file then touches far fewer pages.
constexpr std::int64_t kPagedBlock = std::int64_t{1} << 20;
constexpr std::int64_t kPageGranule = std::int64_t{64} << 10;

} // namespace

TMemoryStream::~TMemoryStream() {
    Release();
}

void TMemoryStream::Release() {
    if (paged_)
        VirtualFree(memory_, 0, MEM_RELEASE);
    else
        std::free(memory_);
    memory_ = nullptr;
    paged_ = false;
}

void TMemoryStream::Reserve(std::int64_t capacity) {
    if (capacity <= capacity_)
        return;
    if (static_cast<std::uint64_t>(capacity) > SIZE_MAX - kPageGranule)
        throw EOutOfMemory(static_cast<std::uint64_t>(capacity));
    if (capacity < kPagedBlock) {
        void* grown = std::realloc(memory_, static_cast<std::size_t>(capacity));
        if (grown == nullptr)
            throw EOutOfMemory(static_cast<std::uint64_t>(capacity));
        memory_ = static_cast<std::uint8_t*>(grown);
        capacity_ = capacity;
        return;
    }
    const std::int64_t rounded = (capacity + kPageGranule - 1) / kPageGranule * kPageGranule;
    void* block = VirtualAlloc(nullptr, static_cast<SIZE_T>(rounded), MEM_COMMIT | MEM_RESERVE,
                               PAGE_READWRITE);
    if (block == nullptr)
        throw EOutOfMemory(static_cast<std::uint64_t>(rounded));
    if (size_ > 0)
        std::memcpy(block, memory_, static_cast<std::size_t>(size_));
    Release();
    memory_ = static_cast<std::uint8_t*>(block);
    paged_ = true;
    capacity_ = rounded;
}

void TMemoryStream::Grow(std::int64_t needed) {
    if (needed <= capacity_)
        return;
    Reserve(std::max<std::int64_t>({needed, capacity_ + capacity_ / 2, 4096}));
}

void TMemoryStream::Clear() {
    Release();
    size_ = capacity_ = position_ = 0;
}

void TMemoryStream::Adopt(void* block, std::int64_t size, std::int64_t capacity) {
    Release();
    memory_ = static_cast<std::uint8_t*>(block);
    size_ = block != nullptr ? std::max<std::int64_t>(size, 0) : 0;
    capacity_ = block != nullptr ? std::max(capacity, size_) : 0;
    position_ = 0;
}

void TMemoryStream::Expose(std::int64_t size) {
    if (size < 0 || size > capacity_)
        throw EStreamError("Cannot resize " + DisplayName() + ": beyond its memory");
    size_ = size;
    position_ = std::min(position_, size_);
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || position_ >= size_)
        return 0;
    const std::int64_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, memory_ + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0)
        return 0;
    const std::int64_t end = position_ + count;
    if (end > size_) {
        Grow(end);
        if (position_ > size_)
            std::memset(memory_ + size_, 0, static_cast<std::size_t>(position_ - size_));
        size_ = end;
    }
    std::memmove(memory_ + position_, buffer, static_cast<std::size_t>(count));
    position_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == soCurrent)
        base = position_;
    else if (origin == soEnd)
        base = size_;
    const std::int64_t target = base + offset;
    if (target < 0)
        throw EStreamError("Cannot seek in " + DisplayName() + ": negative position");
    position_ = target;
    return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
    if (size < 0)
        throw EStreamError("Cannot resize " + DisplayName() + ": negative size");
    if (size > capacity_)
        Reserve(size);
    if (size > size_)
        std::memset(memory_ + size_, 0, static_cast<std::size_t>(size - size_));
    size_ = size;
    if (position_ > size_)
        position_ = size_;
}

void TMemoryStream::LoadFrom(TStream& source) {
    const std::int64_t rest = std::max<std::int64_t>(0, source.Size() - source.Position());
    if (rest > capacity_) {
        // Replace rather than grow: the old bytes need not be kept.
        Clear();
        Reserve(rest);
    }
    size_ = 0;
    position_ = 0;
    std::int64_t done = 0;
    while (done < rest) {
        const std::int64_t n = source.Read(memory_ + done, rest - done);
        if (n <= 0)
            break;
        done += n;
    }
    size_ = done;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead);
    LoadFrom(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TSafeFileStream file(fileName);
    file.WriteBuffer(memory_, size_);
    file.Commit();
}

// --- TFileStream -----------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) {
    Open(fileName, mode);
}

TFileStream::~TFileStream() {
    CloseFile();
}

void TFileStream::Open(const std::string& fileName, TFileMode mode) {
    fileName_ = fileName;
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode == fmOpenReadWrite) {
        access = GENERIC_READ | GENERIC_WRITE;
    } else if (mode == fmCreate) {
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
    }
    HANDLE h = CreateFileA(fileName.c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (mode == fmCreate)
            ThrowLastError("Cannot create file", fileName, false);
        ThrowLastError("Cannot open file", fileName, true);
    }
    handle_ = h;
}

void TFileStream::CloseFile() {
    if (handle_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

std::string TFileStream::DisplayName() const {
    return "file " + Quoted(fileName_);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    std::int64_t done = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (done < count) {
        const DWORD want = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), out + done, want, &got, nullptr))
            throw EReadError("Cannot read " + DisplayName() + ": " +
                             SystemErrorText(GetLastError()));
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    std::int64_t done = 0;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    while (done < count) {
        const DWORD want = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), in + done, want, &put, nullptr))
            throw EWriteError("Cannot write " + DisplayName() + ": " +
                              SystemErrorText(GetLastError()));
        if (put == 0)
            break;
        done += put;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    const DWORD method = origin == soBeginning ? FILE_BEGIN
                         : origin == soCurrent ? FILE_CURRENT
                                               : FILE_END;
    if (!SetFilePointerEx(static_cast<HANDLE>(handle_), distance, &position, method))
        throw EStreamError("Cannot seek in " + DisplayName() + ": " +
                           SystemErrorText(GetLastError()));
    return position.QuadPart;
}

std::int64_t TFileStream::Size() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &size))
        throw EStreamError("Cannot read " + DisplayName() + ": " + SystemErrorText(GetLastError()));
    return size.QuadPart;
}

void TFileStream::SetSize(std::int64_t size) {
    const std::int64_t position = Position();
    Seek(size, soBeginning);
    if (!SetEndOfFile(static_cast<HANDLE>(handle_)))
        throw EWriteError("Cannot resize " + DisplayName() + ": " +
                          SystemErrorText(GetLastError()));
    Seek(std::min(position, size), soBeginning);
}

// --- TSafeFileStream -------------------------------------------------------------

TSafeFileStream::TSafeFileStream(const std::string& fileName) : target_(fileName) {
    fileName_ = fileName;
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    // A folder is no file to replace, and a read-only file may not be
    // overwritten, though renaming over it would succeed.
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        ThrowLastError("Cannot create file", fileName, false);
    }
    const std::string folder = FolderOf(fileName);
    const std::string base = fileName.substr(folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder + "~" + base + "." + std::to_string(attempt) + ".tmp";
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = h;
            tempName_ = name;
            return;
        }
        // A name another save is using: try the next.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    ThrowLastError("Cannot create file", fileName, false);
}

TSafeFileStream::~TSafeFileStream() {
    if (!tempName_.empty()) {
        CloseFile();
        DeleteFileA(tempName_.c_str());
    }
}

std::string TSafeFileStream::DisplayName() const {
    return "file " + Quoted(target_);
}

void TSafeFileStream::Commit() {
    CloseFile();
    if (!MoveFileExA(tempName_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        DeleteFileA(tempName_.c_str());
        tempName_.clear();
        SetLastError(error);
        throw EFCreateError("Cannot replace file " + Quoted(target_) + ": " +
                            SystemErrorText(error));
    }
    tempName_.clear();
}
