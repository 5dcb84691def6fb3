// The catalogue of the plug-in's actions: 46 actions under 7 category rows,
// in the order they are announced to the host, and the lookups the executors
// and dialogs use.
#pragma once

#include <array>
#include <cstdint>
#include <span>

// What the plug-in receives for a parameter of each type code.
enum ParamTypeCode : uint8_t {
    kParamNone = 0,     // placeholder of a row without parameters
    kParamText = 1,     // a text used as given
    kParamInteger = 3,  // a text read as a 32-bit integer
    kParamVariable = 6, // the name of a host variable the plug-in writes
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
