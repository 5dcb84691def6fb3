#include "dialogs/win32/FileDialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

namespace win32 {
namespace {

// The chosen files in what the dialog leaves in its buffer: one full path,
// or with several files the folder and then the names, each ended by a zero.
FileChoice ParseFileDialogBuffer(const char* buffer, std::size_t size) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < size && buffer[at] != '\0') {
        std::size_t end = at;
        while (end < size && buffer[end] != '\0')
            ++end;
        parts.emplace_back(buffer + at, end - at);
        at = end + 1;
    }
    FileChoice choice;
    if (parts.empty())
        return choice;
    if (parts.size() == 1) {
        choice.fileName = parts[0];
        choice.files.push_back(parts[0]);
        return choice;
    }
    std::string folder = parts[0];
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    for (std::size_t i = 1; i < parts.size(); ++i)
        choice.files.push_back(folder + parts[i]);
    choice.fileName = choice.files.front();
    return choice;
}

} // namespace

std::optional<FileChoice> RunFileDialog(HWND owner, FilesTag kind) {
    // Room for many chosen files: the folder once, then every name.
    std::vector<char> buffer(64 * 1024, '\0');
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    const BOOL chosen =
        kind == FilesTag::SaveFile ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (!chosen)
        return std::nullopt;
    return ParseFileDialogBuffer(buffer.data(), buffer.size());
}

std::optional<std::string> RunFolderBrowser(const char* title) {
    // The newer style needs COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOA browse{};
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::optional<std::string> folder;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse)) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(chosen, path))
            folder = path;
        CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return folder;
}

} // namespace win32
