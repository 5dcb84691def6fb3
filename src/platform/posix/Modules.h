// Placeholder: filled in by the platform work that needs it.
#pragma once

#include "platform/posix/Types.h"
