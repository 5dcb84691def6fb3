// The edit dialog of each action, by action ID (index 0 unused), and the
// about box, shown by the build's renderer.
#include <utility>

#include "dialogs/Renderer.h"
#include "host/Dispatch.h"

namespace {

template <int32_t Id>
int32_t EditInWindow(std::span<char*> slots) {
    const DialogDesc* desc = FindDialog(Id);
    return desc != nullptr ? EditParameters(*desc, slots, CreateEditFormWindow) : 0;
}

template <std::size_t... I>
constexpr ActionEditorTable MakeEditors(std::index_sequence<I...>) {
    return {{nullptr, &EditInWindow<static_cast<int32_t>(I + 1)>...}};
}

void ShowAboutInWindow() {
    ShowAbout(PluginAboutTexts(), CreateAboutBoxWindow);
}

} // namespace

const ActionEditorTable kActionEditors = MakeEditors(std::make_index_sequence<kActionCount>());
const AboutBoxProc kAboutBox = &ShowAboutInWindow;
