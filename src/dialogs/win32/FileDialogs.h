// The system's open-file and save-file dialogs and folder browser, as the
// parameter frames' file button uses them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "dialogs/PluginActionEditForm.h"

namespace win32 {

// The open-file (OpenFile) or save-file dialog, owned by `owner`, with the
// default options (read-only box hidden, resizable) and multiple selection,
// nothing else set. Nullopt when cancelled.
std::optional<FileChoice> RunFileDialog(HWND owner, FilesTag kind);

// The folder browser in its newer style, without a root or an initial folder
// and without a parent window. The chosen folder, or nullopt.
std::optional<std::string> RunFolderBrowser(const char* title);

} // namespace win32
