// The native build has no windows to show dialogs in.
#include "dialogs/Renderer.h"

std::unique_ptr<EditFormView> CreateEditFormWindow(PluginActionEditForm&) {
    return nullptr;
}

std::unique_ptr<AboutBoxView> CreateAboutBoxWindow(PluginAboutForm&) {
    return nullptr;
}
