// The base of every action dialog and the one edit procedure they share. The
// form holds the behaviour (loading and storing the parameters, the frames'
// buttons, help, the quote escaping on OK); a view shows it: the Win32
// renderer's real windows, or the headless driver of the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dialogs/DialogModel.h"

enum class ModalResult { Cancel, OK };

// Virtual keys the dialogs react to.
inline constexpr unsigned kKeyEscape = 27;
inline constexpr unsigned kKeyF1 = 112;

// What an open-file or save-file dialog answered: the file name it shows and
// the full paths of the chosen files, in the dialog's order.
struct FileChoice {
    std::string fileName;
    std::vector<std::string> files;
};

// The windows of one dialog, as the form sees them. Frame indexes count from
// the top; a frame's field is its edit box or its combo box.
class EditFormView {
public:
    virtual ~EditFormView() = default;
    virtual std::string FieldText(std::size_t frame) const = 0;
    virtual void SetFieldText(std::size_t frame, const std::string& text) = 0;
    // Gives the field the input focus with all its text selected.
    virtual void FocusField(std::size_t frame) = 0;
    // Appends items to a subroutine field's drop-down list.
    virtual void AddListItems(std::size_t frame, const std::vector<std::string>& items) = 0;
    // Runs the open-file (OpenFile) or save-file (SaveFile) dialog with the
    // default options and multiple selection; nullopt when cancelled.
    virtual std::optional<FileChoice> ChooseFiles(FilesTag kind) = 0;
    // Runs the folder browser with that title; the chosen folder, or nullopt.
    virtual std::optional<std::string> ChooseFolder(const char* title) = 0;
    // Shows the dialog modally until OK, Cancel, Esc or the close box ends it.
    virtual ModalResult ShowModal() = 0;
};

class PluginActionEditForm {
public:
    explicit PluginActionEditForm(const DialogDesc& desc) : desc_(desc) {}
    PluginActionEditForm(const PluginActionEditForm&) = delete;
    PluginActionEditForm& operator=(const PluginActionEditForm&) = delete;

    const DialogDesc& Desc() const { return desc_; }
    // The action's name: the title tab's text and the help topic.
    const char* ActionName() const;
    // The window caption: the action's name and " свойства".
    std::string Caption() const;

    // Once the view's controls exist: fills the subroutine fields' lists.
    void Created(EditFormView& view);
    // The frames' buttons, help and keys; called by the view.
    void VariablesClicked(std::size_t frame);
    void FilesClicked(std::size_t frame);
    void HelpClicked();
    void KeyReleased(unsigned key);
    // The dialog closes: after OK every frame's field is escaped.
    void Closing(ModalResult result);

private:
    const DialogDesc& desc_;
    EditFormView* view_ = nullptr;
};

using EditFormViewFactory = std::function<std::unique_ptr<EditFormView>(PluginActionEditForm&)>;

// The edit procedure of every action: shows the dialog with the parameter
// slots' texts in its fields (a null slot reads as empty) and, after OK,
// rewrites every slot with a new block holding its field's escaped text;
// returns 1 then, and 0 after Cancel, Esc or the close box, when no slot is
// touched. No slot changes either when the blocks cannot be allocated. A
// factory that makes no view (a build without windows) answers 0.
int32_t EditParameters(const DialogDesc& desc, std::span<char*> slots,
                       const EditFormViewFactory& makeView);
