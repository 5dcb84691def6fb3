// The audio compression manager (msacm32) for the POSIX platform: conversion
// streams and format suggestion, with the documented Windows behaviour and
// the results the system's own drivers give (as Wine's msacm32 and codecs
// were measured to give them). There are no installable drivers; built in are:
//   - PCM to PCM: 8, 16 or 24 bits to 8 or 16, any number of channels, any
//     sample rate (24-bit sources keep theirs); channels are summed or copied,
//     sample widths cut or rescaled, rates changed by picking the nearest
//     source frame. As in the system's converter, data of more than two
//     channels is taken as stereo: two samples a frame from the start of the
//     buffer, while frames are counted, and reported, in its block alignment;
//   - decoding of IMA ADPCM (tag 17) and Microsoft ADPCM (tag 2) to 16-bit
//     PCM (8-bit as well for mono IMA ADPCM and for Microsoft ADPCM at 8000,
//     11025, 22050 and 44100 Hz), with the same channels and rate;
//   - decoding of G.711 A-law (tag 6) and mu-law (tag 7) to 16-bit PCM, with
//     the same channels and rate (8000, 11025, 22050 or 44100 Hz);
//   - decoding of GSM 6.10 (tag 49, through libgsm) to 16-bit mono PCM at the
//     same rate.
// Any other pair of formats has no driver: ACMERR_NOTPOSSIBLE. Unlike the
// system's drivers, these refuse records that contradict themselves (a block
// alignment or byte rate that does not fit, no channels, no rate), on which
// the system's drivers divide by zero or read past the data. Conversions
// run synchronously inside acmStreamConvert; asynchronous streams and filters
// are not offered.
#pragma once

#include "platform/posix/Errors.h"
#include "platform/posix/MmReg.h"
#include "platform/posix/Types.h"

// --- result codes (values as in msacm.h) ------------------------------------

#define ACMERR_BASE 512
#define ACMERR_NOTPOSSIBLE (ACMERR_BASE + 0)
#define ACMERR_BUSY (ACMERR_BASE + 1)
#define ACMERR_UNPREPARED (ACMERR_BASE + 2)
#define ACMERR_CANCELED (ACMERR_BASE + 3)

// --- handles -------------------------------------------------------------------
using HACMDRIVERID = struct HACMDRIVERID__*;
using HACMDRIVER = struct HACMDRIVER__*;
using HACMSTREAM = struct HACMSTREAM__*;
using HACMOBJ = struct HACMOBJ__*;
using LPHACMDRIVERID = HACMDRIVERID*;
using LPHACMDRIVER = HACMDRIVER*;
using LPHACMSTREAM = HACMSTREAM*;

// Filters are not offered; the record is only named in the signatures.
struct WAVEFILTER;
using LPWAVEFILTER = WAVEFILTER*;

// --- acmFormatSuggest ------------------------------------------------------------
// Each flag keeps the named field of the destination record as the caller set
// it; the driver chooses the others.
#define ACM_FORMATSUGGESTF_WFORMATTAG 0x00010000
#define ACM_FORMATSUGGESTF_NCHANNELS 0x00020000
#define ACM_FORMATSUGGESTF_NSAMPLESPERSEC 0x00040000
#define ACM_FORMATSUGGESTF_WBITSPERSAMPLE 0x00080000
#define ACM_FORMATSUGGESTF_TYPEMASK 0x00FF0000

extern "C" {
// Fills `pwfxDst` (cbwfxDst bytes available, at least 16) with a PCM format
// that `pwfxSrc` can be converted to. `had` must be null.
MMRESULT acmFormatSuggest(HACMDRIVER had, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst,
                          DWORD cbwfxDst, DWORD fdwSuggest);

// --- conversion streams ------------------------------------------------------------
#define ACM_STREAMOPENF_QUERY 0x00000001
#define ACM_STREAMOPENF_ASYNC 0x00000002
#define ACM_STREAMOPENF_NONREALTIME 0x00000004

#define ACM_STREAMSIZEF_SOURCE 0x00000000
#define ACM_STREAMSIZEF_DESTINATION 0x00000001
#define ACM_STREAMSIZEF_QUERYMASK 0x0000000F

#define ACM_STREAMCONVERTF_BLOCKALIGN 0x00000004
#define ACM_STREAMCONVERTF_START 0x00000010
#define ACM_STREAMCONVERTF_END 0x00000020

#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000
#define ACMSTREAMHEADER_STATUSF_INQUEUE 0x00100000

// The Windows layout, packed: 84 bytes with 32-bit pointers, 124 with 64-bit
// ones (which also have 15 driver words instead of 10).
#pragma pack(push, 1)
struct ACMSTREAMHEADER {
    DWORD cbStruct;
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    LPBYTE pbSrc;
    DWORD cbSrcLength;
    DWORD cbSrcLengthUsed;
    DWORD_PTR dwSrcUser;
    LPBYTE pbDst;
    DWORD cbDstLength;
    DWORD cbDstLengthUsed;
    DWORD_PTR dwDstUser;
    DWORD dwReservedDriver[sizeof(void*) == 4 ? 10 : 15];
};
#pragma pack(pop)
static_assert(sizeof(void*) != 4 || sizeof(ACMSTREAMHEADER) == 84);

using PACMSTREAMHEADER = ACMSTREAMHEADER*;
using LPACMSTREAMHEADER = ACMSTREAMHEADER*;

// Opens a conversion stream from pwfxSrc to pwfxDst. With ACM_STREAMOPENF_QUERY
// only asks whether the conversion is possible (phas is then not written and
// may be null). `had`, `pwfltr` and the callback must be null/0; asynchronous
// streams are refused with ACMERR_NOTPOSSIBLE.
MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc,
                       LPWAVEFORMATEX pwfxDst, LPWAVEFILTER pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR dwInstance, DWORD fdwOpen);
// Closes a stream (its headers should have been unprepared).
MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);
// With ACM_STREAMSIZEF_SOURCE: the destination bytes needed for cbInput
// source bytes; with ACM_STREAMSIZEF_DESTINATION: the source bytes that fill
// at most cbInput destination bytes. ACMERR_NOTPOSSIBLE when the size has no
// answer (less than one block of a block codec, or beyond 32 bits).
MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, LPDWORD pdwOutputBytes, DWORD fdwSize);
// The header's buffers and lengths must stay as prepared until it is
// unprepared; only the lengths may be lowered.
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare);
// Converts as much of the source as fits the destination and sets
// cbSrcLengthUsed and cbDstLengthUsed. Only whole source blocks are used.
MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert);
} // extern "C"
