// The executor of each action, by action ID (index 0 unused). An empty slot
// answers 0 and does nothing.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveFileActions.h"
#include "host/Dispatch.h"

constexpr ActionExecutorTable kActionExecutors = [] {
    ActionExecutorTable table{};
    table[aiPlayerCreate] = &ExecPlayerCreate;
    table[aiPlayerDestroy] = &ExecPlayerDestroy;
    table[aiPlayerDestroyAll] = &ExecPlayerDestroyAll;
    table[aiOutputDevices] = &ExecOutputDevices;
    table[aiPlayerStart] = &ExecPlayerStart;
    table[aiPlayerStop] = &ExecPlayerStop;
    table[aiPlayerPause] = &ExecPlayerPause;
    table[aiPlayerResume] = &ExecPlayerResume;
    table[aiPlayerPosition] = &ExecPlayerPosition;
    table[aiPlayerIsActive] = &ExecPlayerIsActive;
    table[aiPlayerIsPaused] = &ExecPlayerIsPaused;
    table[aiOnPlayerError] = &ExecOnPlayerError;
    table[aiOnPlayerLevel] = &ExecOnPlayerLevel;
    table[aiOnPlayerPause] = &ExecOnPlayerPause;
    table[aiOnPlayerResume] = &ExecOnPlayerResume;
    table[aiOnPlayerPosition] = &ExecOnPlayerPosition;
    table[aiOnPlayerActivate] = &ExecOnPlayerActivate;
    table[aiOnPlayerDeactivate] = &ExecOnPlayerDeactivate;
    table[aiRecordCreate] = &ExecRecordCreate;
    table[aiRecordDestroy] = &ExecRecordDestroy;
    table[aiRecordDestroyAll] = &ExecRecordDestroyAll;
    table[aiInputDevices] = &ExecInputDevices;
    table[aiPCMFormats] = &ExecPCMFormats;
    table[aiRecordStart] = &ExecRecordStart;
    table[aiRecordStop] = &ExecRecordStop;
    table[aiRecordPause] = &ExecRecordPause;
    table[aiRecordResume] = &ExecRecordResume;
    table[aiRecordIsActive] = &ExecRecordIsActive;
    table[aiRecordIsPaused] = &ExecRecordIsPaused;
    table[aiOnRecordError] = &ExecOnRecordError;
    table[aiOnRecordLevel] = &ExecOnRecordLevel;
    table[aiOnRecordPause] = &ExecOnRecordPause;
    table[aiOnRecordResume] = &ExecOnRecordResume;
    table[aiOnRecordPosition] = &ExecOnRecordPosition;
    table[aiOnRecordActivate] = &ExecOnRecordActivate;
    table[aiOnRecordDeactivate] = &ExecOnRecordDeactivate;
    table[aiSub] = &ExecWaveSub;
    table[aiInfo] = &ExecWaveInfo;
    table[aiConcat] = &ExecWaveConcat;
    table[aiInvert] = &ExecWaveInvert;
    table[aiDelete] = &ExecWaveDelete;
    table[aiTrimStart] = &ExecWaveTrimStart;
    table[aiTrimEnd] = &ExecWaveTrimEnd;
    table[aiChangeVolume] = &ExecWaveChangeVolume;
    table[aiInsertSilence] = &ExecWaveInsertSilence;
    table[aiConvertToPCM] = &ExecWaveConvertToPCM;
    return table;
}();
