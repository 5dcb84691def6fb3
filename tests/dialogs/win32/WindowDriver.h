// Drives real dialogs from a thread of its own while the test's main thread
// runs them (nbEditAction, nbAbout), as an author would: finds windows by
// caption, reads and sets controls, posts clicks and keys. Needs a display
// (scripts/wine-display).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace driver {

// Waits up to `timeout` ms for the condition; whether it came true.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = 10000);

// A visible top-level dialog window of this process with that caption
// (Windows-1251), or null after the timeout.
HWND WaitForDialog(const std::string& caption, DWORD timeout = 10000);
// A visible dialog owned by `owner`, other than `owner` itself, such as the
// open-file dialog of a file button.
HWND WaitForOwnedDialog(HWND owner, DWORD timeout = 10000);

std::string Text(HWND window);
void SetText(HWND window, const std::string& text);
// The window that has the keyboard focus in the window's thread.
HWND Focus(HWND window);
// Posts a click to a button, so that whatever it opens runs on its own thread.
void Click(HWND button);
// Posts a key press or release to the control that has the focus.
void PostKey(HWND dialog, unsigned key, bool down);

// Runs `script` on a driver thread while `run` executes on this thread, and
// returns run's result. If `run` is still inside a dialog when the script is
// done (a failed check, say), the driver closes every dialog of the process
// until `run` returns, so that no test hangs.
int Drive(const std::function<void()>& script, const std::function<int()>& run);

} // namespace driver
