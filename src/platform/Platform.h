// The one header through which the plug-in, its tools and its tests reach the
// operating system. On Windows it is the Windows SDK itself; elsewhere the
// same names are declared here, with the documented Windows behaviour, and
// implemented by the POSIX platform library (src/platform/posix).
// The platform library's functions have C linkage under their Windows names,
// so that a host in any language can find them in the loaded library.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Order matters: mmreg.h and msacm.h build on mmsystem.h.
#include <commdlg.h>
#include <mmreg.h>
#include <mmsystem.h>
#include <msacm.h>
#include <shellapi.h>

// Exported entry points are listed in the module-definition file.
#define TV_EXPORT

#else

#include "platform/posix/Acm.h"
#include "platform/posix/Files.h"
#include "platform/posix/Handles.h"
#include "platform/posix/Kernel.h"
#include "platform/posix/Messages.h"
#include "platform/posix/Mmio.h"
#include "platform/posix/Modules.h"
#include "platform/posix/Threads.h"
#include "platform/posix/Types.h"
#include "platform/posix/Wave.h"

#define TV_EXPORT __attribute__((visibility("default")))

#endif
