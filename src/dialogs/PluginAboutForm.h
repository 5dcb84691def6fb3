// The about box: the plug-in's name and version, release date, description,
// the credit for outside components, the maker's links and notice, and help.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dialogs/DialogModel.h"
#include "platform/Cp1251.h"

struct AboutTexts {
    std::string title;
    std::string version;
    std::string releaseDate;
    std::string description;
    std::string credit; // empty: no credit section
    std::string website;
    std::string email;
    std::string copyright;
};

// The plug-in's own texts.
AboutTexts PluginAboutTexts();

struct AboutLayout {
    Rect client;
    Rect leftBand;
    Rect picture; // the picture is fitted into it, keeping its proportions
    Rect website;
    Rect email;
    Rect copyright;
    Rect group;
    Rect pluginIcon;
    Rect nameVersion;
    Rect releaseDate;
    Rect hint;
    bool creditShown = false;
    Rect thirdpartyLabel;
    Rect thirdparty;
    Rect okButton;
    Rect helpButton;
};

inline constexpr const char* kThirdpartyLabel = "Компоненты сторонних производителей:"_w1251;

// Without a credit text the description covers the credit's place.
AboutLayout LayOutAboutBox(bool creditShown);

// The windows of the about box, as the form sees them.
class AboutBoxView {
public:
    virtual ~AboutBoxView() = default;
    virtual void FocusOK() = 0;
    virtual void Close() = 0;
    virtual void ShowModal() = 0;
};

class PluginAboutForm {
public:
    explicit PluginAboutForm(AboutTexts texts) : texts_(std::move(texts)) {}
    PluginAboutForm(const PluginAboutForm&) = delete;
    PluginAboutForm& operator=(const PluginAboutForm&) = delete;

    const AboutTexts& Texts() const { return texts_; }
    std::string Caption() const;     // "О плагине duVoza"
    std::string NameVersion() const; // "duVoza 1.4"
    AboutLayout Layout() const { return LayOutAboutBox(!texts_.credit.empty()); }
    std::string WebsiteLink() const { return texts_.website; }
    std::string EmailLink() const { return "mailto:" + texts_.email; }

    void Created(AboutBoxView& view) { view_ = &view; }
    // The description and the credit open their help topics and hand the
    // focus back to OK.
    void HintClicked();
    void ThirdpartyClicked();
    void WebsiteClicked();
    void EmailClicked();
    void HelpClicked();
    // Esc closes the box, F1 opens the help topic "about".
    void KeyReleased(unsigned key);

private:
    AboutTexts texts_;
    AboutBoxView* view_ = nullptr;
};

using AboutBoxViewFactory = std::function<std::unique_ptr<AboutBoxView>(PluginAboutForm&)>;

// Shows the about box modally; nothing without a view (a build without windows).
void ShowAbout(AboutTexts texts, const AboutBoxViewFactory& makeView);
