#include "dialogs/PluginAboutForm.h"

#include "PluginStrings.h"
#include "dialogs/HelpTopics.h"
#include "dialogs/PluginActionEditForm.h"
#include "host/HostServices.h"
#include "platform/Platform.h"

AboutTexts PluginAboutTexts() {
    return {strings::kTitle,  strings::kVersion, strings::kReleaseDate, strings::kDescription,
            strings::kCredit, strings::kWebsite, strings::kEmail,       strings::kCopyright};
}

AboutLayout LayOutAboutBox(bool creditShown) {
    // Places inside the group box are relative to it.
    constexpr int gx = 172;
    constexpr int gy = 7;
    AboutLayout layout;
    layout.client = {0, 0, 535, 392};
    layout.leftBand = {0, 0, 166, 392};
    layout.picture = {8, 8, 150, 150};
    layout.website = {0, 264, 166, 14};
    layout.email = {0, 283, 166, 14};
    layout.copyright = {0, 355, 166, 11};
    layout.group = {gx, gy, 355, 377};
    layout.pluginIcon = {gx + 15, gy + 13, 32, 32};
    layout.nameVersion = {gx + 59, gy + 16, 118, 23};
    layout.releaseDate = {gx + 180, gy + 22, 130, 16};
    layout.creditShown = creditShown;
    layout.hint = {gx + 15, gy + 55, 329, creditShown ? 65 : 155};
    layout.thirdpartyLabel = {gx + 15, gy + 126, 329, 13};
    layout.thirdparty = {gx + 15, gy + 145, 329, 65};
    layout.okButton = {gx + 188, gy + 341, 75, 25};
    layout.helpButton = {gx + 269, gy + 341, 75, 25};
    return layout;
}

std::string PluginAboutForm::Caption() const {
    return "О плагине "_w1251 + texts_.title;
}

std::string PluginAboutForm::NameVersion() const {
    return texts_.title + " " + texts_.version;
}

void PluginAboutForm::HintClicked() {
    ShowHelpOrComplain(help::kAboutTopic);
    if (view_ != nullptr)
        view_->FocusOK();
}

void PluginAboutForm::ThirdpartyClicked() {
    ShowHelpOrComplain(help::kThirdpartyTopic);
    if (view_ != nullptr)
        view_->FocusOK();
}

void PluginAboutForm::WebsiteClicked() {
    ShellOpen(WebsiteLink(), "", SW_SHOWNORMAL);
}

void PluginAboutForm::EmailClicked() {
    ShellOpen(EmailLink(), "", SW_SHOWNORMAL);
}

void PluginAboutForm::HelpClicked() {
    ShowHelpOrComplain(help::kAboutTopic);
}

void PluginAboutForm::KeyReleased(unsigned key) {
    if (key == kKeyEscape && view_ != nullptr)
        view_->Close();
    else if (key == kKeyF1)
        HelpClicked();
}

void ShowAbout(AboutTexts texts, const AboutBoxViewFactory& makeView) {
    PluginAboutForm form(std::move(texts));
    const std::unique_ptr<AboutBoxView> view = makeView(form);
    if (view == nullptr)
        return;
    form.Created(*view);
    view->ShowModal();
}
