#include "dialogs/ParameterFrames.h"

#include <vector>

#include "host/HostServices.h"

void InsertVariable(EditFormView& view, std::size_t frame) {
    const std::string picked = PickFromHost(HostPicker::Variable, view.FieldText(frame));
    if (!picked.empty())
        view.SetFieldText(frame, picked);
    view.FocusField(frame);
}

void ChooseFileOrFolder(EditFormView& view, std::size_t frame, FilesTag tag) {
    if (tag == FilesTag::OpenFile || tag == FilesTag::SaveFile) {
        if (const std::optional<FileChoice> choice = view.ChooseFiles(tag))
            view.SetFieldText(frame, WithChosenFiles(view.FieldText(frame), *choice));
    } else if (tag == FilesTag::Folder) {
        if (const std::optional<std::string> folder = view.ChooseFolder(kFolderBrowserTitle))
            view.SetFieldText(frame, WithTrailingDelimiter(*folder));
    }
    view.FocusField(frame);
}

void FillSubroutineList(EditFormView& view, std::size_t frame) {
    std::vector<std::string> subroutines;
    GetHostList(HostListKind::Subroutines, subroutines);
    view.AddListItems(frame, subroutines);
}

std::string WithChosenFiles(std::string text, const FileChoice& choice) {
    if (choice.files.empty())
        return choice.fileName;
    for (const std::string& file : choice.files) {
        if (!text.empty())
            text += '|';
        text += file;
    }
    return text;
}

std::string WithTrailingDelimiter(std::string folder) {
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    return folder;
}
