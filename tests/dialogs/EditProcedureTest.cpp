// The edit procedure every dialog shares, through the headless driver.
#include "dialogs/PluginActionEditForm.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "HelpTestSupport.h"
#include "dialogs/HeadlessDriver.h"
#include "support/FakeHost.h"

namespace {

std::span<char*> SlotsOf(HostParams& params, int32_t id) {
    return {params.Slots(), static_cast<std::size_t>(ActionParamCount(id))};
}

TEST(EditParameters, LoadsEachSlotIntoTheFieldOfItsParameter) {
    FakeHost host;
    // duVozaConcat: the output file is P3, after the gap.
    HostParams params{"first.wav", "second.wav", "250", "out.wav", "ok"};
    std::vector<std::string> shown;
    EXPECT_EQ(EditHeadless(aiConcat, SlotsOf(params, aiConcat),
                           [&](HeadlessEditView& view) {
                               for (std::size_t i = 0; i < 5; ++i)
                                   shown.push_back(view.FieldText(i));
                               return ModalResult::Cancel;
                           }),
              0);
    EXPECT_EQ(shown, (std::vector<std::string>{"first.wav", "second.wav", "250", "out.wav", "ok"}));
    EXPECT_STREQ(FindDialog(aiConcat)->frames[3].field.name, "OutWaveFrame");
}

TEST(EditParameters, OkRewritesEverySlotWithAFreshEscapedBlock) {
    FakeHost host;
    HostParams params{"1", nullptr, "a\"b", "[#34]x"};
    char* const before[] = {params.Slots()[0], params.Slots()[1], params.Slots()[2],
                            params.Slots()[3]};
    EXPECT_EQ(EditHeadless(aiPlayerStart, SlotsOf(params, aiPlayerStart),
                           [](HeadlessEditView& view) {
                               EXPECT_EQ(view.FieldText(1), ""); // a null slot reads as empty
                               view.Type(3, view.FieldText(3) + "\"\"");
                               return ModalResult::OK;
                           }),
              1);
    EXPECT_EQ(params.Text(0), "1");
    EXPECT_EQ(params.Text(1), "");
    EXPECT_EQ(params.Text(2), "a[#34]b");
    EXPECT_EQ(params.Text(3), "[#34]x[#34][#34]"); // an escape already there is kept as it is
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NE(params.Slots()[i], before[i]) << "slot " << i << " was not rewritten";
}

TEST(EditParameters, CancelTouchesNoSlotAndEscapesNothing) {
    FakeHost host;
    HostParams params{"7", "a\"b"};
    char* const before[] = {params.Slots()[0], params.Slots()[1]};
    EXPECT_EQ(EditHeadless(aiPlayerStop, SlotsOf(params, aiPlayerStop),
                           [](HeadlessEditView& view) {
                               view.Type(0, "changed");
                               return ModalResult::Cancel;
                           }),
              0);
    EXPECT_EQ(params.Slots()[0], before[0]);
    EXPECT_EQ(params.Slots()[1], before[1]);
    EXPECT_EQ(params.Text(0), "7");

    PluginActionEditForm form(*FindDialog(aiPlayerStop));
    HeadlessEditView view(form, {});
    form.Created(view);
    view.Type(1, "a\"b");
    form.Closing(ModalResult::Cancel);
    EXPECT_EQ(view.FieldText(1), "a\"b");
    form.Closing(ModalResult::OK);
    EXPECT_EQ(view.FieldText(1), "a[#34]b");
}

TEST(EditParameters, AFailureInsideTheDialogDestroysItAndStoresNothing) {
    FakeHost host;
    HostParams params{"7", "r"};
    char* const before = params.Slots()[1];
    bool destroyed = false;
    EXPECT_THROW(EditHeadless(
                     aiPlayerStop, SlotsOf(params, aiPlayerStop),
                     [](HeadlessEditView& view) -> ModalResult {
                         view.Type(1, "new");
                         throw std::runtime_error("out of something");
                     },
                     [&](HeadlessEditView& view) { view.onDestroy = [&] { destroyed = true; }; }),
                 std::runtime_error);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(params.Slots()[1], before);
}

TEST(EditAction, ActionsWithoutParametersHaveNoDialog) {
    EXPECT_EQ(FindDialog(aiPlayerDestroyAll), nullptr);
    EXPECT_EQ(FindDialog(aiRecordDestroyAll), nullptr);
    EXPECT_EQ(FindDialog(0), nullptr);
    EXPECT_EQ(FindDialog(47), nullptr);
    HostParams params{"x"};
    EXPECT_EQ(EditHeadless(aiPlayerDestroyAll, {params.Slots(), 0},
                           [](HeadlessEditView&) { return ModalResult::OK; }),
              0);
}

TEST(EditForm, HelpOnF1ReleaseAndTheHelpButtonUsesTheActionName) {
    HelpRegistration::RemoveHelpKeys();
    FakeHost host;
    HostParams params{"1", "2", "3", "4", "5"};
    EditHeadless(aiOnPlayerLevel, SlotsOf(params, aiOnPlayerLevel), [](HeadlessEditView& view) {
        EXPECT_STREQ(view.Form().ActionName(), "zxOnPlayerLevel");
        view.ReleaseKey(kKeyEscape - 1);
        view.ReleaseKey(kKeyF1);
        view.ClickHelp();
        return ModalResult::Cancel;
    });
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{help::kMissingHelpText, help::kMissingHelpText}));
    EXPECT_EQ(params.Text(0), "1");
}

} // namespace
