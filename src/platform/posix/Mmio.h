// Multimedia file I/O (the mmio functions of winmm) for the POSIX platform:
// RIFF chunk navigation over an I/O procedure. Handles are unbuffered: every
// read, write and seek goes straight to the I/O procedure, as on Windows when
// no buffer is allocated. A file name without an I/O procedure opens a disk
// file through the platform's file functions.
#pragma once

#include "platform/posix/Errors.h"
#include "platform/posix/MmReg.h"
#include "platform/posix/Types.h"

using FOURCC = DWORD;
using HPSTR = char*;
using HMMIO = struct HMMIO__*;
using HTASK = HANDLE;
#define mmioFOURCC(c0, c1, c2, c3)                                                                 \
    (static_cast<FOURCC>(static_cast<BYTE>(c0)) |                                                  \
     (static_cast<FOURCC>(static_cast<BYTE>(c1)) << 8) |                                           \
     (static_cast<FOURCC>(static_cast<BYTE>(c2)) << 16) |                                          \
     (static_cast<FOURCC>(static_cast<BYTE>(c3)) << 24))
#define MAKEFOURCC(c0, c1, c2, c3) mmioFOURCC(c0, c1, c2, c3)

#define FOURCC_RIFF mmioFOURCC('R', 'I', 'F', 'F')
#define FOURCC_LIST mmioFOURCC('L', 'I', 'S', 'T')
#define FOURCC_DOS mmioFOURCC('D', 'O', 'S', ' ')
#define FOURCC_MEM mmioFOURCC('M', 'E', 'M', ' ')

#define MMIOERR_BASE 256
#define MMIOERR_FILENOTFOUND (MMIOERR_BASE + 1)
#define MMIOERR_OUTOFMEMORY (MMIOERR_BASE + 2)
#define MMIOERR_CANNOTOPEN (MMIOERR_BASE + 3)
#define MMIOERR_CANNOTCLOSE (MMIOERR_BASE + 4)
#define MMIOERR_CANNOTREAD (MMIOERR_BASE + 5)
#define MMIOERR_CANNOTWRITE (MMIOERR_BASE + 6)
#define MMIOERR_CANNOTSEEK (MMIOERR_BASE + 7)
#define MMIOERR_CANNOTEXPAND (MMIOERR_BASE + 8)
#define MMIOERR_CHUNKNOTFOUND (MMIOERR_BASE + 9)
#define MMIOERR_UNBUFFERED (MMIOERR_BASE + 10)

// Open flags.
#define MMIO_READ 0x00000000
#define MMIO_WRITE 0x00000001
#define MMIO_READWRITE 0x00000002
#define MMIO_CREATE 0x00001000
#define MMIO_EXIST 0x00004000
#define MMIO_ALLOCBUF 0x00010000
#define MMIO_DIRTY 0x10000000
// mmioDescend, mmioCreateChunk, mmioStringToFOURCC and mmioClose flags.
#define MMIO_FHOPEN 0x0010
#define MMIO_TOUPPER 0x0010
#define MMIO_FINDCHUNK 0x0010
#define MMIO_FINDRIFF 0x0020
#define MMIO_FINDLIST 0x0040
#define MMIO_CREATERIFF 0x0020
#define MMIO_CREATELIST 0x0040

// Messages to an I/O procedure.
#define MMIOM_READ MMIO_READ
#define MMIOM_WRITE MMIO_WRITE
#define MMIOM_SEEK 2
#define MMIOM_OPEN 3
#define MMIOM_CLOSE 4
#define MMIOM_WRITEFLUSH 5
#define MMIOM_RENAME 6
#define MMIOM_USER 0x8000

#ifndef SEEK_SET
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2
#endif

using MMIOPROC = LRESULT CALLBACK(LPSTR lpmmioinfo, UINT uMsg, LPARAM lParam1, LPARAM lParam2);
using LPMMIOPROC = MMIOPROC*;

// As on Windows, except that the info words are pointer-sized, so that a
// 64-bit I/O procedure can keep a pointer in adwInfo[0] as a 32-bit one does.
struct MMIOINFO {
    DWORD dwFlags;
    FOURCC fccIOProc;
    LPMMIOPROC pIOProc;
    UINT wErrorRet;
    HTASK htask;
    LONG cchBuffer;
    HPSTR pchBuffer;
    HPSTR pchNext;
    HPSTR pchEndRead;
    HPSTR pchEndWrite;
    LONG lBufOffset;
    LONG lDiskOffset;
    DWORD_PTR adwInfo[3];
    DWORD dwReserved1;
    DWORD dwReserved2;
    HMMIO hmmio;
};
using PMMIOINFO = MMIOINFO*;
using LPMMIOINFO = MMIOINFO*;
using LPCMMIOINFO = const MMIOINFO*;

struct MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;
    DWORD dwDataOffset;
    DWORD dwFlags;
};
using PMMCKINFO = MMCKINFO*;
using LPMMCKINFO = MMCKINFO*;
using LPCMMCKINFO = const MMCKINFO*;

extern "C" {
// Opens a handle. With pIOProc set in `info` the procedure serves every
// message (it receives the handle's own MMIOINFO, with adwInfo copied from
// `info` and lDiskOffset 0); otherwise `fileName` names a disk file. Null on
// failure, with the reason in info->wErrorRet.
HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags);
MMRESULT mmioClose(HMMIO h, UINT flags);
LONG mmioRead(HMMIO h, HPSTR buffer, LONG count);
LONG mmioWrite(HMMIO h, const char* buffer, LONG count);
// The new position, or -1.
LONG mmioSeek(HMMIO h, LONG offset, int origin);
LRESULT mmioSendMessage(HMMIO h, UINT message, LPARAM lParam1, LPARAM lParam2);
MMRESULT mmioGetInfo(HMMIO h, LPMMIOINFO info, UINT flags);

// Searches forward from the current position for a chunk (any chunk, or with
// MMIO_FINDCHUNK the one with ck->ckid, with MMIO_FINDRIFF/MMIO_FINDLIST a
// RIFF/LIST chunk of form type ck->fccType) and positions the handle at its
// contents (after the form type for RIFF and LIST). MMIOERR_CHUNKNOTFOUND
// when the search starts outside the parent's contents, or when it runs out of
// data: the handle is then left where the last chunk header was looked for.
MMRESULT mmioDescend(HMMIO h, LPMMCKINFO ck, const MMCKINFO* parent, UINT flags);
// Leaves a chunk: a chunk created dirty gets its size written (and a pad byte
// after odd contents); the handle moves past the (padded) chunk.
MMRESULT mmioAscend(HMMIO h, LPMMCKINFO ck, UINT flags);
// Writes a chunk header at the current position (with the form type for RIFF
// and LIST chunks) and marks the chunk dirty.
MMRESULT mmioCreateChunk(HMMIO h, LPMMCKINFO ck, UINT flags);
// Up to four characters, padded with blanks.
FOURCC mmioStringToFOURCCA(LPCSTR text, UINT flags);
} // extern "C"
