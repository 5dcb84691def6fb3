// The executors of the file actions (IDs 37 to 46) and the frame they share.
//
// A file-to-file action reads a source WAVE file completely into memory, edits
// it and saves the result to a destination (which may be the source itself).
// It checks that the source exists before it reads its numbers, and it writes
// no destination when the edit fails. Errors of the files themselves (a source
// that cannot be read, a destination that cannot be created) leave the
// executor as stream errors, which the dispatcher reports in LastError.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <new>
#include <span>
#include <string>

#include "host/Dispatch.h"

class TWave;

// "Не найден звуковой файл \"<file>\"." with the file name as given.
std::string SoundFileNotFoundText(const std::string& fileName);

// Why an action could not do its work on a file: "Cannot <what> \"<file>\":
// <why>", with `what` the action's work ("reverse", "convert") and `why` the
// engine's refusal (a generic clause when it gave none).
std::string FileRefusalText(std::int32_t actionId, const std::string& fileName,
                            const std::string& why);

// Raises the stream error that reports memory running out while working on
// a file: `Not enough memory for "<file>": <n> bytes could not be had`.
[[noreturn]] void ThrowOutOfMemoryFor(const std::string& fileName, const std::bad_alloc& error);

// Runs `step` on a file; memory that runs out in it is reported naming the
// file and the bytes that could not be had.
template <class Step>
decltype(auto) ForFile(const std::string& fileName, Step&& step) {
    try {
        return step();
    } catch (const std::bad_alloc& error) {
        ThrowOutOfMemoryFor(fileName, error);
    }
}

// The numbers of a file-to-file action, in parameter order.
template <std::size_t N>
using FileActionNumbers = std::array<std::int32_t, N>;

// An edit of the loaded source with the action's numbers. True when the wave
// was changed and is to be saved.
template <std::size_t N>
using WaveEdit = bool (*)(TWave& wave, const FileActionNumbers<N>& numbers);

// The frame of every file-to-file action: source file, destination file,
// numbers.size() integers, result variable. It reports a missing source
// before it reads the numbers. The source is loaded into the shared storage of
// the listing service and `edit` runs on it; the result is saved only when the
// edit succeeds. The shared wave is emptied at the end whatever happened,
// after a failed edit or a stream error too: a file kept there would hold its
// memory until the next file action, which in a 32-bit host may be what that
// action needs for a large file of its own.
std::int32_t RunFileEditFrame(std::int32_t actionId, ActionParams params,
                              std::span<std::int32_t> numbers,
                              const std::function<bool(TWave&)>& edit);

template <std::size_t N>
std::int32_t RunFileEditAction(std::int32_t actionId, ActionParams params, WaveEdit<N> edit) {
    FileActionNumbers<N> numbers{};
    return RunFileEditFrame(actionId, params, numbers,
                            [&](TWave& wave) { return edit(wave, numbers); });
}

// The executors, one per module (UWave<Name>ActionExec.cpp).
std::int32_t ExecWaveSub(ActionParams params);
std::int32_t ExecWaveInfo(ActionParams params);
std::int32_t ExecWaveConcat(ActionParams params);
std::int32_t ExecWaveInvert(ActionParams params);
std::int32_t ExecWaveDelete(ActionParams params);
std::int32_t ExecWaveTrimStart(ActionParams params);
std::int32_t ExecWaveTrimEnd(ActionParams params);
std::int32_t ExecWaveChangeVolume(ActionParams params);
std::int32_t ExecWaveInsertSilence(ActionParams params);
std::int32_t ExecWaveConvertToPCM(ActionParams params);
