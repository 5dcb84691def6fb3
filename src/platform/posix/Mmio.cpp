// Multimedia file I/O over I/O procedures, unbuffered: every read, write and
// seek is one message to the handle's procedure. Chunk navigation follows the
// documented Windows behaviour (and agrees with winmm on the cases the tests
// cover); positions are computed in 64 bits so that a chunk size from a
// damaged file can never make a search run backwards or forever.
#include "platform/posix/Mmio.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/posix/Files.h"
#include "platform/posix/Handles.h"
#include "platform/posix/Kernel.h"

struct HMMIO__ {
    MMIOINFO info;
    LPMMIOPROC proc;
};

namespace {

LRESULT Send(HMMIO h, UINT message, LPARAM p1, LPARAM p2) {
    return h->proc(reinterpret_cast<LPSTR>(&h->info), message, p1, p2);
}

// The disk-file procedure: adwInfo[0] holds the file handle.
LRESULT CALLBACK DosIOProc(LPSTR infoText, UINT message, LPARAM p1, LPARAM p2) {
    auto* info = reinterpret_cast<MMIOINFO*>(infoText);
    HANDLE file = reinterpret_cast<HANDLE>(info->adwInfo[0]);
    switch (message) {
    case MMIOM_OPEN: {
        const DWORD mode = info->dwFlags;
        DWORD access = GENERIC_READ;
        if (mode & MMIO_WRITE)
            access = GENERIC_WRITE;
        else if (mode & MMIO_READWRITE)
            access = GENERIC_READ | GENERIC_WRITE;
        const DWORD disposition = (mode & MMIO_CREATE) ? CREATE_ALWAYS : OPEN_EXISTING;
        HANDLE opened = CreateFileA(reinterpret_cast<LPCSTR>(p1), access, FILE_SHARE_READ, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_FILE_NOT_FOUND ? MMIOERR_FILENOTFOUND
                                                          : MMIOERR_CANNOTOPEN;
        info->adwInfo[0] = reinterpret_cast<DWORD_PTR>(opened);
        info->lDiskOffset = 0;
        return MMSYSERR_NOERROR;
    }
    case MMIOM_CLOSE:
        CloseHandle(file);
        info->adwInfo[0] = 0;
        return MMSYSERR_NOERROR;
    case MMIOM_READ:
    case MMIOM_WRITE:
    case MMIOM_WRITEFLUSH: {
        DWORD done = 0;
        const BOOL ok = message == MMIOM_READ ? ReadFile(file, reinterpret_cast<void*>(p1),
                                                         static_cast<DWORD>(p2), &done, nullptr)
                                              : WriteFile(file, reinterpret_cast<const void*>(p1),
                                                          static_cast<DWORD>(p2), &done, nullptr);
        if (!ok)
            return -1;
        info->lDiskOffset += static_cast<LONG>(done);
        return static_cast<LRESULT>(done);
    }
    case MMIOM_SEEK: {
        const DWORD position =
            SetFilePointer(file, static_cast<LONG>(p1), nullptr, static_cast<DWORD>(p2));
        if (position == INVALID_SET_FILE_POINTER)
            return -1;
        info->lDiskOffset = static_cast<LONG>(position);
        return static_cast<LRESULT>(position);
    }
    default:
        return 0;
    }
}

// Position for a seek: a value a LONG can hold, or -1.
LONG Clip(std::int64_t position) {
    return position < 0 || position > 0x7FFFFFFF ? -1 : static_cast<LONG>(position);
}

} // namespace

HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags) {
    auto* h = new (std::nothrow) HMMIO__{};
    if (h == nullptr) {
        if (info)
            info->wErrorRet = MMIOERR_OUTOFMEMORY;
        return nullptr;
    }
    h->proc = DosIOProc;
    if (info != nullptr) {
        if (info->pIOProc != nullptr) {
            h->proc = info->pIOProc;
            h->info.fccIOProc = info->fccIOProc;
        }
        for (int i = 0; i < 3; ++i)
            h->info.adwInfo[i] = info->adwInfo[i];
    }
    if (h->proc == DosIOProc) {
        h->info.fccIOProc = FOURCC_DOS;
        h->info.adwInfo[0] = 0;
        if (fileName == nullptr) {
            delete h;
            if (info)
                info->wErrorRet = MMIOERR_FILENOTFOUND;
            return nullptr;
        }
    }
    h->info.pIOProc = h->proc;
    h->info.dwFlags = flags;
    h->info.hmmio = h;
    h->info.lDiskOffset = 0;
    const LRESULT result = Send(h, MMIOM_OPEN, reinterpret_cast<LPARAM>(fileName), 0);
    if (info)
        info->wErrorRet = static_cast<UINT>(result);
    if (result != MMSYSERR_NOERROR) {
        delete h;
        return nullptr;
    }
    if (info)
        info->hmmio = h;
    return h;
}

MMRESULT mmioClose(HMMIO h, UINT flags) {
    if (h == nullptr)
        return MMSYSERR_INVALHANDLE;
    const LRESULT result = Send(h, MMIOM_CLOSE, static_cast<LPARAM>(flags), 0);
    delete h;
    return static_cast<MMRESULT>(result);
}

LONG mmioRead(HMMIO h, HPSTR buffer, LONG count) {
    if (h == nullptr || count < 0)
        return -1;
    if (count == 0)
        return 0;
    return static_cast<LONG>(
        Send(h, MMIOM_READ, reinterpret_cast<LPARAM>(buffer), static_cast<LPARAM>(count)));
}

LONG mmioWrite(HMMIO h, const char* buffer, LONG count) {
    if (h == nullptr || count < 0)
        return -1;
    if (count == 0)
        return 0;
    return static_cast<LONG>(
        Send(h, MMIOM_WRITE, reinterpret_cast<LPARAM>(buffer), static_cast<LPARAM>(count)));
}

LONG mmioSeek(HMMIO h, LONG offset, int origin) {
    if (h == nullptr)
        return -1;
    return static_cast<LONG>(
        Send(h, MMIOM_SEEK, static_cast<LPARAM>(offset), static_cast<LPARAM>(origin)));
}

LRESULT mmioSendMessage(HMMIO h, UINT message, LPARAM lParam1, LPARAM lParam2) {
    if (h == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (message < MMIOM_USER)
        return MMSYSERR_INVALPARAM;
    return Send(h, message, lParam1, lParam2);
}

MMRESULT mmioGetInfo(HMMIO h, LPMMIOINFO info, UINT) {
    if (h == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (info == nullptr)
        return MMSYSERR_INVALPARAM;
    *info = h->info;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioDescend(HMMIO h, LPMMCKINFO ck, const MMCKINFO* parent, UINT flags) {
    if (h == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (ck == nullptr)
        return MMSYSERR_INVALPARAM;
    const LONG start = mmioSeek(h, 0, SEEK_CUR);
    if (start < 0)
        return MMIOERR_CANNOTSEEK;
    std::int64_t position = start;
    if (parent != nullptr) {
        // The search must start inside the parent's contents (the end is
        // computed in 32 bits, as winmm does).
        const DWORD end = parent->dwDataOffset + parent->cksize;
        if (static_cast<DWORD>(start) < parent->dwDataOffset || static_cast<DWORD>(start) >= end)
            return MMIOERR_CHUNKNOTFOUND;
    }

    FOURCC wantId = 0;
    FOURCC wantType = 0;
    if (flags & MMIO_FINDCHUNK)
        wantId = ck->ckid;
    if (flags & MMIO_FINDLIST) {
        wantId = FOURCC_LIST;
        wantType = ck->fccType;
    }
    if (flags & MMIO_FINDRIFF) {
        wantId = FOURCC_RIFF;
        wantType = ck->fccType;
    }

    for (;;) {
        DWORD header[3] = {0, 0, ck->fccType};
        const LONG got = mmioRead(h, reinterpret_cast<HPSTR>(header), sizeof header);
        if (got < static_cast<LONG>(2 * sizeof(DWORD))) {
            // As winmm does, the handle is left where the data ran out.
            mmioSeek(h, Clip(position) < 0 ? start : Clip(position), SEEK_SET);
            return MMIOERR_CHUNKNOTFOUND;
        }
        ck->ckid = header[0];
        ck->cksize = header[1];
        ck->fccType = header[2];
        const std::int64_t dataOffset = position + 8;
        ck->dwDataOffset = static_cast<DWORD>(dataOffset);
        if ((wantId == 0 || wantId == ck->ckid) && (wantType == 0 || wantType == ck->fccType))
            break;
        position = dataOffset + ((static_cast<std::int64_t>(ck->cksize) + 1) & ~std::int64_t{1});
        const LONG next = Clip(position);
        if (next < 0 || mmioSeek(h, next, SEEK_SET) != next) {
            mmioSeek(h, start, SEEK_SET);
            return MMIOERR_CHUNKNOTFOUND;
        }
    }

    ck->dwFlags = 0;
    if (ck->ckid == FOURCC_RIFF || ck->ckid == FOURCC_LIST) {
        mmioSeek(h, static_cast<LONG>(ck->dwDataOffset + 4), SEEK_SET);
    } else {
        mmioSeek(h, static_cast<LONG>(ck->dwDataOffset), SEEK_SET);
        ck->fccType = 0;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mmioAscend(HMMIO h, LPMMCKINFO ck, UINT) {
    if (h == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (ck == nullptr)
        return MMSYSERR_INVALPARAM;
    if (ck->dwFlags & MMIO_DIRTY) {
        const LONG position = mmioSeek(h, 0, SEEK_CUR);
        if (position < 0)
            return MMIOERR_CANNOTSEEK;
        const DWORD size = static_cast<DWORD>(position) - ck->dwDataOffset;
        if (size != ck->cksize) {
            ck->cksize = size;
            if (size & 1) {
                const char pad = 0;
                if (mmioWrite(h, &pad, 1) != 1)
                    return MMIOERR_CANNOTWRITE;
            }
            if (mmioSeek(h, static_cast<LONG>(ck->dwDataOffset - 4), SEEK_SET) < 0)
                return MMIOERR_CANNOTSEEK;
            if (mmioWrite(h, reinterpret_cast<const char*>(&size), 4) != 4)
                return MMIOERR_CANNOTWRITE;
        }
        ck->dwFlags = 0;
    }
    const std::int64_t end =
        static_cast<std::int64_t>(ck->dwDataOffset) + ((std::int64_t{ck->cksize} + 1) & ~1LL);
    const LONG next = Clip(end);
    if (next < 0 || mmioSeek(h, next, SEEK_SET) < 0)
        return MMIOERR_CANNOTSEEK;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioCreateChunk(HMMIO h, LPMMCKINFO ck, UINT flags) {
    if (h == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (ck == nullptr)
        return MMSYSERR_INVALPARAM;
    const LONG start = mmioSeek(h, 0, SEEK_CUR);
    if (start < 0)
        return MMIOERR_CANNOTSEEK;
    if (flags == MMIO_CREATELIST)
        ck->ckid = FOURCC_LIST;
    else if (flags == MMIO_CREATERIFF)
        ck->ckid = FOURCC_RIFF;
    LONG size = 8;
    ck->dwDataOffset = static_cast<DWORD>(start) + 8;
    if (ck->ckid == FOURCC_RIFF || ck->ckid == FOURCC_LIST)
        size += 4;
    ck->dwFlags = MMIO_DIRTY;
    const DWORD header[3] = {ck->ckid, ck->cksize, ck->fccType};
    if (mmioWrite(h, reinterpret_cast<const char*>(header), size) < size) {
        mmioSeek(h, start, SEEK_SET);
        return MMIOERR_CANNOTWRITE;
    }
    return MMSYSERR_NOERROR;
}

FOURCC mmioStringToFOURCCA(LPCSTR text, UINT flags) {
    char cc[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && text != nullptr && text[i] != '\0'; ++i)
        cc[i] = (flags & MMIO_TOUPPER)
                    ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])))
                    : text[i];
    return mmioFOURCC(cc[0], cc[1], cc[2], cc[3]);
}
