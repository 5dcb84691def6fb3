#include "dialogs/HeadlessDriver.h"

#include <utility>

HeadlessEditView::HeadlessEditView(PluginActionEditForm& form, Script script)
    : form_(form), script_(std::move(script)), texts_(form.Desc().frameCount),
      lists_(form.Desc().frameCount) {}

HeadlessEditView::~HeadlessEditView() {
    if (onDestroy)
        onDestroy();
}

void HeadlessEditView::AddListItems(std::size_t frame, const std::vector<std::string>& items) {
    std::vector<std::string>& list = lists_.at(frame);
    list.insert(list.end(), items.begin(), items.end());
}

std::optional<FileChoice> HeadlessEditView::ChooseFiles(FilesTag kind) {
    fileDialogsShown.push_back(kind);
    if (fileAnswers.empty())
        return std::nullopt;
    std::optional<FileChoice> answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return answer;
}

std::optional<std::string> HeadlessEditView::ChooseFolder(const char* title) {
    folderTitles.emplace_back(title);
    return folderAnswer;
}

ModalResult HeadlessEditView::ShowModal() {
    return script_ ? script_(*this) : ModalResult::Cancel;
}

int32_t EditHeadless(int32_t actionId, std::span<char*> slots, HeadlessEditView::Script script,
                     const std::function<void(HeadlessEditView&)>& configure) {
    const DialogDesc* desc = FindDialog(actionId);
    if (desc == nullptr)
        return 0;
    return EditParameters(*desc, slots, [&](PluginActionEditForm& form) {
        auto view = std::make_unique<HeadlessEditView>(form, std::move(script));
        if (configure)
            configure(*view);
        return view;
    });
}
