// The Win32 renderer of the dialogs; until it draws windows, editing answers 0.
#include "dialogs/Renderer.h"

std::unique_ptr<EditFormView> CreateEditFormWindow(PluginActionEditForm&) {
    return nullptr;
}

std::unique_ptr<AboutBoxView> CreateAboutBoxWindow(PluginAboutForm&) {
    return nullptr;
}
