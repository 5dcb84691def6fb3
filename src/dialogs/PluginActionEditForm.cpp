#include "dialogs/PluginActionEditForm.h"

#include "dialogs/HelpTopics.h"
#include "dialogs/ParameterFrames.h"
#include "host/HostServices.h"

namespace {

// Stores every text into its slot. The new blocks are all allocated before
// any slot changes, so that running out of memory leaves the host's slots
// (and the blocks it may still hold) exactly as they were.
void StoreAll(std::span<char*> slots, const std::vector<std::string>& texts) {
    std::vector<char*> blocks(texts.size(), nullptr);
    try {
        for (std::size_t i = 0; i < texts.size(); ++i)
            StoreHostString(&blocks[i], texts[i]);
    } catch (...) {
        for (char*& block : blocks)
            FreeHostString(&block);
        throw;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        FreeHostString(&slots[i]);
        slots[i] = blocks[i];
    }
}

} // namespace

const char* PluginActionEditForm::ActionName() const {
    return ::ActionName(desc_.actionId);
}

std::string PluginActionEditForm::Caption() const {
    return std::string(ActionName()) + desc_.captionSuffix;
}

void PluginActionEditForm::Created(EditFormView& view) {
    view_ = &view;
    for (std::size_t i = 0; i < desc_.frameCount; ++i)
        if (desc_.frames[i].field.kind == FrameKind::Subroutine)
            FillSubroutineList(view, i);
}

void PluginActionEditForm::VariablesClicked(std::size_t frame) {
    if (view_ != nullptr && frame < desc_.frameCount)
        InsertVariable(*view_, frame);
}

void PluginActionEditForm::FilesClicked(std::size_t frame) {
    if (view_ != nullptr && frame < desc_.frameCount)
        ChooseFileOrFolder(*view_, frame, desc_.frames[frame].field.files);
}

void PluginActionEditForm::HelpClicked() {
    ShowHelpOrComplain(ActionName());
}

void PluginActionEditForm::KeyReleased(unsigned key) {
    if (key == kKeyF1)
        HelpClicked();
}

void PluginActionEditForm::Closing(ModalResult result) {
    if (result != ModalResult::OK || view_ == nullptr)
        return;
    for (std::size_t i = 0; i < desc_.frameCount; ++i)
        view_->SetFieldText(i, EscapeQuotes(view_->FieldText(i)));
}

int32_t EditParameters(const DialogDesc& desc, std::span<char*> slots,
                       const EditFormViewFactory& makeView) {
    if (slots.size() < desc.frameCount)
        return 0;
    PluginActionEditForm form(desc);
    const std::unique_ptr<EditFormView> view = makeView(form);
    if (view == nullptr)
        return 0;
    form.Created(*view);
    for (std::size_t i = 0; i < desc.frameCount; ++i)
        view->SetFieldText(i, slots[i] != nullptr ? slots[i] : "");
    const ModalResult result = view->ShowModal();
    form.Closing(result);
    if (result != ModalResult::OK)
        return 0;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < desc.frameCount; ++i)
        texts.push_back(view->FieldText(i));
    StoreAll(slots.first(desc.frameCount), texts);
    return 1;
}
