// The executor of each action, by action ID (index 0 unused). An empty slot
// answers 0 and does nothing.
#include "actions/UWaveFileActions.h"
#include "host/Dispatch.h"

constexpr ActionExecutorTable kActionExecutors = [] {
    ActionExecutorTable table{};
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
