// The executors of the file actions (IDs 37 to 46) and the frame they share.
//
// A file-to-file action reads a source WAVE file completely into memory, edits
// it and saves the result to a destination (which may be the source itself).
// It checks that the source exists before it reads its numbers, and it writes
// no destination when the edit fails. Errors of the files themselves (a source
// that cannot be read, a destination that cannot be created) leave the
// executor as stream errors, which the dispatcher reports in LastError.
#pragma once

#include <cstdint>
#include <string>

#include "host/Dispatch.h"

class TWave;

// "Не найден звуковой файл \"<file>\"." with the file name as given.
std::string SoundFileNotFoundText(const std::string& fileName);

// An edit of the loaded source; `numbers` holds the action's numbers in
// parameter order. True when the wave was changed and is to be saved.
using WaveEdit = bool (*)(TWave& wave, const std::int32_t* numbers);

inline constexpr std::size_t kMaxFileActionNumbers = 2;

// Runs a file-to-file action whose parameters are: source file, destination
// file, `numberCount` integers, result variable. The source is loaded into
// the shared storage of the listing service, which is emptied again at the end.
std::int32_t RunFileEditAction(std::int32_t actionId, ActionParams params, std::size_t numberCount,
                               WaveEdit edit);

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
