// What the parameter frames do: the insert-variable button, the file button
// (open-file or save-file dialog, or folder browser, by its tag) and the
// subroutine field's list.
#pragma once

#include <cstddef>
#include <string>

#include "dialogs/PluginActionEditForm.h"

inline constexpr const char* kFolderBrowserTitle = "Choose a directory";

// Asks the host's variable picker with the field's text; a non-empty answer
// replaces it. The field gets the focus with its text selected.
void InsertVariable(EditFormView& view, std::size_t frame);
// Runs the file dialog or folder browser of the tag and puts the choice into
// the field; a cancelled dialog changes nothing. The field gets the focus
// with its text selected in every case.
void ChooseFileOrFolder(EditFormView& view, std::size_t frame, FilesTag tag);
// Appends the host project's subroutines to the field's drop-down list.
void FillSubroutineList(EditFormView& view, std::size_t frame);

// The field's text after files were chosen: every chosen path appended, each
// after a "|" unless the text is empty; the dialog's file name when it lists
// no files.
std::string WithChosenFiles(std::string text, const FileChoice& choice);
// The folder with a trailing path delimiter.
std::string WithTrailingDelimiter(std::string folder);
