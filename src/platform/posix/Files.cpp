// kernel32's ANSI file functions over POSIX file descriptors.
#include "platform/posix/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "platform/Cp1251.h"
#include "platform/posix/Handles.h"
#include "platform/posix/Kernel.h"

namespace {

using posix::lastError;

// The open handles of this process on each file, with their access and share
// modes: as on Windows, a handle is refused when it wants an access that an
// open handle does not share, or does not share an access an open handle has;
// a file is deleted, or renamed away, only when every open handle shares
// deleting; and a file that is open is never replaced by a rename.
// (Only this process's handles are seen.)
struct OpenFile {
    dev_t device;
    ino_t inode;
    DWORD access; // GENERIC_READ | GENERIC_WRITE
    DWORD share;  // FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
    const void* owner;
};

std::mutex openFilesLock;
std::vector<OpenFile> openFiles;

bool SharesWith(const OpenFile& open, DWORD access, DWORD share) {
    const auto allowed = [](DWORD wanted, DWORD shared) {
        return ((wanted & GENERIC_READ) == 0 || (shared & FILE_SHARE_READ) != 0) &&
               ((wanted & GENERIC_WRITE) == 0 || (shared & FILE_SHARE_WRITE) != 0);
    };
    return allowed(access, open.share) && allowed(open.access, share);
}

// Whether a new handle with these modes may be opened on the file `info`
// describes. Call with openFilesLock held.
bool MayOpen(const struct stat& info, DWORD access, DWORD share) {
    for (const OpenFile& open : openFiles)
        if (open.device == info.st_dev && open.inode == info.st_ino &&
            !SharesWith(open, access, share))
            return false;
    return true;
}

// Whether every open handle on the file `info` describes shares deleting, so
// that it may be deleted or renamed away. Call with openFilesLock held.
bool DeleteShared(const struct stat& info) {
    return std::none_of(openFiles.begin(), openFiles.end(), [&info](const OpenFile& open) {
        return open.device == info.st_dev && open.inode == info.st_ino &&
               (open.share & FILE_SHARE_DELETE) == 0;
    });
}

// Whether a handle of this process is open on the file `info` describes.
// Call with openFilesLock held.
bool IsOpen(const struct stat& info) {
    return std::any_of(openFiles.begin(), openFiles.end(), [&info](const OpenFile& open) {
        return open.device == info.st_dev && open.inode == info.st_ino;
    });
}

class FileObject : public posix::KernelObject {
public:
    explicit FileObject(int fd) : fd(fd) {}
    ~FileObject() override {
        {
            const std::lock_guard<std::mutex> lock(openFilesLock);
            std::erase_if(openFiles, [this](const OpenFile& open) { return open.owner == this; });
        }
        ::close(fd);
    }
    const int fd;
};

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

void FailWithErrno() {
    lastError = ErrorFromErrno(errno);
}

// A read or write on a valid handle that was not opened for it: Windows calls
// that a denied access, where the descriptor only knows a bad one.
void FailTransfer() {
    lastError = errno == EBADF ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno);
}

// As Windows tells them apart: a missing file in an existing folder, or a
// missing folder on the way to it.
void FailWithErrnoFor(const std::string& path) {
    const int error = errno;
    lastError = ErrorFromErrno(error);
    if (error == ENOENT) {
        const auto cut = path.find_last_of('/');
        if (cut != std::string::npos && cut > 0) {
            struct stat info {};
            const std::string folder = path.substr(0, cut);
            if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                lastError = ERROR_PATH_NOT_FOUND;
        }
    }
}

FileObject* FileFrom(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    return posix::ObjectAs<FileObject>(h);
}

bool SeekTo(FileObject* file, std::int64_t distance, DWORD method, std::int64_t& position) {
    int whence = SEEK_SET;
    if (method == FILE_CURRENT)
        whence = SEEK_CUR;
    else if (method == FILE_END)
        whence = SEEK_END;
    else if (method != FILE_BEGIN) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const off_t current = ::lseek(file->fd, 0, whence == SEEK_SET ? SEEK_CUR : whence);
    if (current < 0) {
        FailWithErrno();
        return false;
    }
    const std::int64_t base = whence == SEEK_SET ? 0 : static_cast<std::int64_t>(current);
    const std::int64_t target = base + distance;
    if (target < 0) {
        lastError = ERROR_NEGATIVE_SEEK;
        return false;
    }
    if (::lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        FailWithErrno();
        return false;
    }
    position = target;
    return true;
}

} // namespace

namespace posix {

namespace {

// The entry of `folder` whose name equals `part` without regard to letter
// case, or nothing.
std::optional<std::string> MatchInFolder(const std::string& folder, std::string_view part) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return std::nullopt;
    const std::string wanted = cp1251::FromUtf8(part);
    std::optional<std::string> match;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != ".." &&
            cp1251::SameIgnoringCase(cp1251::FromUtf8(entryName), wanted)) {
            match = std::string(entryName);
            break;
        }
    }
    ::closedir(dir);
    return match;
}

// As on Windows, a name finds its file whatever the letter case it is
// written in: each part of the path that does not exist as written is
// looked up in its folder. The parts from the first one not found on stay
// as written (a file about to be made keeps the case it was given).
std::string WithLettersAsStored(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0)
        return path;
    std::string resolved;
    bool found = true;
    for (std::size_t pos = 0; pos <= path.size();) {
        const std::size_t end = std::min(path.find('/', pos), path.size());
        const std::string_view part = std::string_view(path).substr(pos, end - pos);
        std::string next = resolved + std::string(part);
        if (found && !part.empty() && ::lstat(next.c_str(), &info) != 0) {
            if (const auto match = MatchInFolder(resolved, part))
                next = resolved + *match;
            else
                found = false;
        }
        resolved = std::move(next);
        if (end < path.size())
            resolved += '/';
        pos = end + 1;
    }
    return resolved;
}

} // namespace

std::optional<std::string> PathFromAnsi(const char* name) {
    std::string path = cp1251::ToUtf8(name == nullptr ? "" : name);
    for (char& c : path) {
        if (static_cast<unsigned char>(c) < ' ' ||
            std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
            lastError = ERROR_INVALID_NAME;
            return std::nullopt;
        }
        if (c == '\\')
            c = '/';
    }
    const std::size_t last = path.find_last_of('/') + 1; // 0 without a slash
    const std::string_view part = std::string_view(path).substr(last);
    if (part != "." && part != "..") {
        const std::size_t kept = part.find_last_not_of(". ");
        if (kept != std::string_view::npos)
            path.resize(last + kept + 1);
    }
    return WithLettersAsStored(path);
}

} // namespace posix

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
    if (fileName == nullptr || fileName[0] == '\0') {
        lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    const bool read = (desiredAccess & GENERIC_READ) != 0;
    const bool write = (desiredAccess & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NONBLOCK;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (creationDisposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        flags |= O_TRUNC;
        break;
    default:
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    const std::optional<std::string> name = posix::PathFromAnsi(fileName);
    if (!name)
        return INVALID_HANDLE_VALUE;
    const std::string& path = *name;
    struct stat info {};
    const bool existed = ::stat(path.c_str(), &info) == 0;
    if (existed && S_ISDIR(info.st_mode)) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    const DWORD access = desiredAccess & (GENERIC_READ | GENERIC_WRITE);
    const DWORD share = shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    // Checked before opening, so that a refused handle truncates nothing.
    const std::lock_guard<std::mutex> lock(openFilesLock);
    if (existed && !MayOpen(info, access, share)) {
        lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        FailWithErrnoFor(path);
        return INVALID_HANDLE_VALUE;
    }
    // Only opening must not wait; reads and writes of a file do.
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode))
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // As on Windows, opening an existing file with OPEN_ALWAYS or
    // CREATE_ALWAYS succeeds and says so.
    lastError =
        existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS)
            ? ERROR_ALREADY_EXISTS
            : ERROR_SUCCESS;
    auto* file = new FileObject(fd);
    openFiles.push_back({opened.st_dev, opened.st_ino, access, share, file});
    return posix::HandleFor(file);
}

DWORD GetFileType(HANDLE h) {
    FileObject* file = FileFrom(h);
    struct stat info {};
    if (file == nullptr || ::fstat(file->fd, &info) != 0) {
        lastError = ERROR_INVALID_HANDLE;
        return FILE_TYPE_UNKNOWN;
    }
    lastError = ERROR_SUCCESS;
    if (S_ISREG(info.st_mode))
        return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode))
        return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
        return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read)
        *read = 0;
    FileObject* file = FileFrom(h);
    if (file == nullptr || overlapped != nullptr) {
        lastError = file == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_SUPPORTED;
        return FALSE;
    }
    DWORD done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(file->fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FailTransfer();
            if (read)
                *read = done;
            return FALSE;
        }
        if (n == 0)
            break;
        done += static_cast<DWORD>(n);
    }
    if (read)
        *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    if (written)
        *written = 0;
    FileObject* file = FileFrom(h);
    if (file == nullptr || overlapped != nullptr) {
        lastError = file == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_SUPPORTED;
        return FALSE;
    }
    DWORD done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(file->fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FailTransfer();
            if (written)
                *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written)
        *written = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, PLONG distanceHigh, DWORD method) {
    FileObject* file = FileFrom(h);
    if (file == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t move = distance;
    if (distanceHigh != nullptr)
        move = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
            static_cast<std::uint32_t>(distance));
    std::int64_t position = 0;
    if (!SeekTo(file, move, method, position))
        return INVALID_SET_FILE_POINTER;
    if (distanceHigh != nullptr)
        *distanceHigh = static_cast<LONG>(position >> 32);
    else if (position > 0xFFFFFFFELL) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_SET_FILE_POINTER;
    }
    lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(position);
}

BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method) {
    FileObject* file = FileFrom(h);
    if (file == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::int64_t position = 0;
    if (!SeekTo(file, distance.QuadPart, method, position))
        return FALSE;
    if (newPosition)
        newPosition->QuadPart = position;
    return TRUE;
}

BOOL SetEndOfFile(HANDLE h) {
    FileObject* file = FileFrom(h);
    if (file == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    const off_t position = ::lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ::ftruncate(file->fd, position) != 0) {
        FailWithErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE h) {
    FileObject* file = FileFrom(h);
    if (file == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (::fsync(file->fd) != 0 && errno != EINVAL) {
        FailWithErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE h, PLARGE_INTEGER size) {
    FileObject* file = FileFrom(h);
    if (file == nullptr || size == nullptr) {
        lastError = file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    struct stat info {};
    if (::fstat(file->fd, &info) != 0) {
        FailWithErrno();
        return FALSE;
    }
    size->QuadPart = static_cast<LONGLONG>(info.st_size);
    return TRUE;
}

DWORD GetFileSize(HANDLE h, LPDWORD sizeHigh) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size))
        return INVALID_FILE_SIZE;
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size.QuadPart) >> 32);
    lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(size.QuadPart & 0xFFFFFFFF);
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::optional<std::string> name = posix::PathFromAnsi(fileName);
    if (!name)
        return INVALID_FILE_ATTRIBUTES;
    const std::string& path = *name;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        FailWithErrnoFor(path);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(info.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((info.st_mode & S_IWUSR) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (fileName == nullptr) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    const std::optional<std::string> name = posix::PathFromAnsi(fileName);
    if (!name)
        return FALSE;
    const std::string& path = *name;
    struct stat info {};
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    const std::lock_guard<std::mutex> lock(openFilesLock);
    if (exists && !DeleteShared(info)) {
        lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        FailWithErrnoFor(path);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
    if (existingName == nullptr || newName == nullptr) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    const std::optional<std::string> fromName = posix::PathFromAnsi(existingName);
    const std::optional<std::string> toName =
        fromName ? posix::PathFromAnsi(newName) : std::nullopt;
    if (!toName)
        return FALSE;
    const std::string& from = *fromName;
    const std::string& to = *toName;
    struct stat info {};
    if (::stat(from.c_str(), &info) != 0) {
        FailWithErrnoFor(from);
        return FALSE;
    }
    const std::lock_guard<std::mutex> lock(openFilesLock);
    // Renaming a file away needs the delete access every handle on it shares.
    if (!DeleteShared(info)) {
        lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    struct stat target {};
    if (::stat(to.c_str(), &target) == 0 &&
        (target.st_dev != info.st_dev || target.st_ino != info.st_ino)) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            lastError = ERROR_ALREADY_EXISTS;
            return FALSE;
        }
        // A folder, or a file still open (whatever it shares), is not replaced.
        if (S_ISDIR(target.st_mode) || IsOpen(target)) {
            lastError = ERROR_ACCESS_DENIED;
            return FALSE;
        }
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        FailWithErrno();
        return FALSE;
    }
    return TRUE;
}
