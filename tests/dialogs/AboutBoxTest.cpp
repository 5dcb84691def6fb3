#include "dialogs/PluginAboutForm.h"

#include <gtest/gtest.h>

#include "HelpTestSupport.h"
#include "dialogs/HeadlessDriver.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"

namespace {

TEST(AboutBox, ShowsThePluginsIdentity) {
    PluginAboutForm form(PluginAboutTexts());
    EXPECT_EQ(form.Caption(), "О плагине duVoza"_w1251);
    EXPECT_EQ(form.NameVersion(), "duVoza 1.4");
    EXPECT_EQ(form.Texts().releaseDate, "12/07/2011");
    EXPECT_EQ(form.Texts().description,
              "Воспроизведение и запись звуковых файлов в формате WAV."_w1251);
    EXPECT_EQ(form.EmailLink(), "mailto:" + form.Texts().email);
    EXPECT_EQ(form.WebsiteLink(), form.Texts().website);
}

TEST(AboutBox, TheCreditSectionShowsOnlyWithACreditText) {
    AboutTexts texts = PluginAboutTexts();
    ASSERT_FALSE(texts.credit.empty());
    const AboutLayout withCredit = PluginAboutForm(texts).Layout();
    EXPECT_TRUE(withCredit.creditShown);
    EXPECT_EQ(withCredit.hint.height, 65);
    EXPECT_LT(withCredit.hint.Bottom(), withCredit.thirdpartyLabel.top);
    EXPECT_LT(withCredit.thirdpartyLabel.Bottom(), withCredit.thirdparty.top);

    texts.credit.clear();
    const AboutLayout without = PluginAboutForm(texts).Layout();
    EXPECT_FALSE(without.creditShown);
    EXPECT_EQ(without.hint.height, 155);
    EXPECT_EQ(without.hint.Bottom(), withCredit.thirdparty.Bottom());
    for (const Rect& r : {without.hint, without.okButton, without.helpButton, without.pluginIcon,
                          without.releaseDate})
        EXPECT_LE(r.Right(), without.group.Right());
    EXPECT_LE(without.group.Bottom(), without.client.Bottom());
}

TEST(AboutBox, HelpKeysAndClicks) {
    HelpRegistration::RemoveHelpKeys();
    FakeHost host;
    PluginAboutForm form(PluginAboutTexts());
    HeadlessAboutView view;
    form.Created(view);
    form.HintClicked();
    EXPECT_TRUE(view.okFocused); // the focus goes back to OK, not into the memo
    view.okFocused = false;
    form.ThirdpartyClicked();
    EXPECT_TRUE(view.okFocused);
    form.KeyReleased(kKeyF1);
    form.HelpClicked();
    EXPECT_EQ(host.messages.size(), 4u);
    EXPECT_FALSE(view.closed);
    form.KeyReleased(kKeyEscape);
    EXPECT_TRUE(view.closed);
}

} // namespace
