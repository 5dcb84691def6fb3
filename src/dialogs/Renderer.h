// The windows of the dialogs, made by the build's renderer: real Win32
// windows (src/dialogs/win32), or none at all in the native build
// (src/dialogs/posix), where editing an action answers 0 and the about box
// returns at once.
#pragma once

#include <memory>

#include "dialogs/PluginAboutForm.h"
#include "dialogs/PluginActionEditForm.h"

std::unique_ptr<EditFormView> CreateEditFormWindow(PluginActionEditForm& form);
std::unique_ptr<AboutBoxView> CreateAboutBoxWindow(PluginAboutForm& form);
