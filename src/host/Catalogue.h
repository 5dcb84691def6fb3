// The catalogue of the plug-in's actions: 46 actions under 7 category rows,
// in the order they are announced to the host, and the lookups the executors
// and dialogs use.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "host/Exports.h"

// Action IDs, as announced to the host.
enum ActionId : int32_t {
    aiPlayerCreate = 1,
    aiPlayerDestroy = 2,
    aiPlayerDestroyAll = 3,
    aiOutputDevices = 4,
    aiPlayerStart = 5,
    aiPlayerStop = 6,
    aiPlayerPause = 7,
    aiPlayerResume = 8,
    aiPlayerPosition = 9,
    aiPlayerIsActive = 10,
    aiPlayerIsPaused = 11,
    aiOnPlayerError = 12,
    aiOnPlayerLevel = 13,
    aiOnPlayerPause = 14,
    aiOnPlayerResume = 15,
    aiOnPlayerPosition = 16,
    aiOnPlayerActivate = 17,
    aiOnPlayerDeactivate = 18,
    aiRecordCreate = 19,
    aiRecordDestroy = 20,
    aiRecordDestroyAll = 21,
    aiInputDevices = 22,
    aiPCMFormats = 23,
    aiRecordStart = 24,
    aiRecordStop = 25,
    aiRecordPause = 26,
    aiRecordResume = 27,
    aiRecordIsActive = 28,
    aiRecordIsPaused = 29,
    aiOnRecordError = 30,
    aiOnRecordLevel = 31,
    aiOnRecordPause = 32,
    aiOnRecordResume = 33,
    aiOnRecordPosition = 34,
    aiOnRecordActivate = 35,
    aiOnRecordDeactivate = 36,
    aiSub = 37,
    aiInfo = 38,
    aiConcat = 39,
    aiInvert = 40,
    aiDelete = 41,
    aiTrimStart = 42,
    aiTrimEnd = 43,
    aiChangeVolume = 44,
    aiInsertSilence = 45,
    aiConvertToPCM = 46,
};

inline constexpr int32_t kActionCount = 46;
inline constexpr std::size_t kCatalogueRowCount = 53;
inline constexpr std::size_t kMaxActionParams = 6;

struct CatalogueRow {
    int32_t id;         // 1..46 for an action, 0 for a category row
    const char* name;   // script name of the action, or the category title
    const char* hint;   // empty for a category row
    int32_t paramCount; // 0..6
    std::array<uint8_t, kMaxActionParams> typeCodes; // the first max(paramCount, 1) count
};

// Every row in registration order.
std::span<const CatalogueRow, kCatalogueRowCount> CatalogueRows();

// The action's row; null for an ID outside 1..46.
const CatalogueRow* FindAction(int32_t id);
// The action's script name (e.g. "duVozaPlayerStart"); empty for an unknown ID.
const char* ActionName(int32_t id);
// The action's hint; empty for an unknown ID.
const char* ActionHint(int32_t id);
// The number of the action's parameters; 0 for an unknown ID.
int32_t ActionParamCount(int32_t id);
// The type codes of the action's parameters, one per parameter (empty for an
// action without parameters and for an unknown ID).
std::span<const uint8_t> ActionTypeCodes(int32_t id);

// Announces every row to the host through HostAddAction (nothing without it).
void RegisterActions();
