// The executor of each action, by action ID (index 0 unused). An empty slot
// answers 0 and does nothing.
#include "host/Dispatch.h"

const ActionExecutorTable kActionExecutors = {};
