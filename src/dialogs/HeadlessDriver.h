// A dialog without windows, for the tests: it keeps each field's text and
// list in memory, answers the file dialogs with texts a test chooses, and
// while "shown" runs a script that plays the author's part (typing, clicking
// the frames' buttons, pressing keys) and ends the dialog with OK or Cancel.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/PluginAboutForm.h"
#include "dialogs/PluginActionEditForm.h"

class HeadlessEditView final : public EditFormView {
public:
    using Script = std::function<ModalResult(HeadlessEditView&)>;

    HeadlessEditView(PluginActionEditForm& form, Script script);
    ~HeadlessEditView() override;

    PluginActionEditForm& Form() { return form_; }

    // The author's part.
    void Type(std::size_t frame, std::string text) { SetFieldText(frame, text); }
    void ClickVariables(std::size_t frame) { form_.VariablesClicked(frame); }
    void ClickFiles(std::size_t frame) { form_.FilesClicked(frame); }
    void ClickHelp() { form_.HelpClicked(); }
    void ReleaseKey(unsigned key) { form_.KeyReleased(key); }

    // What the dialog shows.
    const std::vector<std::string>& ListItems(std::size_t frame) const { return lists_.at(frame); }
    std::optional<std::size_t> focusedField; // last field given the focus, its text selected

    // Answers of the file dialogs, one taken per dialog shown (none left:
    // cancelled), and the dialogs that were shown.
    std::deque<std::optional<FileChoice>> fileAnswers;
    std::vector<FilesTag> fileDialogsShown;
    std::optional<std::string> folderAnswer;
    std::vector<std::string> folderTitles;
    // Called when the dialog is destroyed.
    std::function<void()> onDestroy;

    std::string FieldText(std::size_t frame) const override { return texts_.at(frame); }
    void SetFieldText(std::size_t frame, const std::string& text) override {
        texts_.at(frame) = text;
    }
    void FocusField(std::size_t frame) override { focusedField = frame; }
    void AddListItems(std::size_t frame, const std::vector<std::string>& items) override;
    std::optional<FileChoice> ChooseFiles(FilesTag kind) override;
    std::optional<std::string> ChooseFolder(const char* title) override;
    ModalResult ShowModal() override;

private:
    PluginActionEditForm& form_;
    Script script_;
    std::vector<std::string> texts_;
    std::vector<std::vector<std::string>> lists_;
};

// Runs the action's edit procedure on `slots` with a headless dialog that
// `script` drives; 0 for an action without a dialog.
int32_t EditHeadless(int32_t actionId, std::span<char*> slots, HeadlessEditView::Script script,
                     const std::function<void(HeadlessEditView&)>& configure = {});

// An about box without windows: it records what the form asked of it.
class HeadlessAboutView final : public AboutBoxView {
public:
    bool okFocused = false;
    bool closed = false;
    void FocusOK() override { okFocused = true; }
    void Close() override { closed = true; }
    void ShowModal() override {}
};
