// The frames' buttons and the subroutine list, through the headless driver.
#include "dialogs/ParameterFrames.h"

#include <gtest/gtest.h>

#include "dialogs/HeadlessDriver.h"
#include "host/HostServices.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"

namespace {

// One open dialog of an action, with its form and headless view.
struct OpenDialog {
    explicit OpenDialog(int32_t id) : form(*FindDialog(id)), view(form, {}) { form.Created(view); }
    PluginActionEditForm form;
    HeadlessEditView view;
};

TEST(FilesButton, JoinsChosenPathsAndAppendsToAFilledField) {
    EXPECT_EQ(WithChosenFiles("", {"C:\\w\\a.wav", {"C:\\w\\a.wav"}}), "C:\\w\\a.wav");
    EXPECT_EQ(WithChosenFiles("", {"", {"C:\\a.wav", "C:\\b.wav", "C:\\c.wav"}}),
              "C:\\a.wav|C:\\b.wav|C:\\c.wav");
    EXPECT_EQ(WithChosenFiles("C:\\old.wav", {"", {"C:\\new.wav"}}), "C:\\old.wav|C:\\new.wav");
    EXPECT_EQ(WithChosenFiles("C:\\old.wav", {"typed.wav", {}}), "typed.wav");
    EXPECT_EQ(WithTrailingDelimiter("C:\\Data"), "C:\\Data\\");
    EXPECT_EQ(WithTrailingDelimiter("C:\\"), "C:\\");
}

TEST(FilesButton, OpensTheDialogOfItsTagAndFocusesTheField) {
    FakeHost host;
    OpenDialog start(aiPlayerStart); // playback reads the file
    start.view.fileAnswers.push_back(FileChoice{"C:\\a.wav", {"C:\\a.wav"}});
    start.view.ClickFiles(1);
    EXPECT_EQ(start.view.FieldText(1), "C:\\a.wav");
    start.view.ClickFiles(1); // cancelled: nothing changes
    EXPECT_EQ(start.view.FieldText(1), "C:\\a.wav");
    EXPECT_EQ(start.view.focusedField, 1u);
    EXPECT_EQ(start.view.fileDialogsShown,
              (std::vector<FilesTag>{FilesTag::OpenFile, FilesTag::OpenFile}));

    OpenDialog record(aiRecordStart); // recording writes it
    record.view.Type(1, "C:\\old.wav");
    record.view.fileAnswers.push_back(FileChoice{"", {"C:\\new.wav"}});
    record.view.ClickFiles(1);
    EXPECT_EQ(record.view.FieldText(1), "C:\\old.wav|C:\\new.wav");

    OpenDialog info(aiInfo); // reads the file, yet offers the save dialog
    info.view.ClickFiles(0);
    EXPECT_EQ(info.view.fileDialogsShown, std::vector<FilesTag>{FilesTag::SaveFile});
    EXPECT_EQ(info.view.focusedField, 0u);
}

TEST(FilesButton, TheFolderBrowserEndsThePathWithADelimiter) {
    // No placement uses the folder browser; a frame with that tag still works.
    FakeHost host;
    DialogDesc desc = *FindDialog(aiInfo);
    desc.frames[0].field.files = FilesTag::Folder;
    PluginActionEditForm form(desc);
    HeadlessEditView view(form, {});
    form.Created(view);
    view.Type(0, "keep");
    view.ClickFiles(0);
    EXPECT_EQ(view.FieldText(0), "keep");
    view.folderAnswer = "C:\\Data";
    view.ClickFiles(0);
    EXPECT_EQ(view.FieldText(0), "C:\\Data\\");
    EXPECT_EQ(view.folderTitles,
              (std::vector<std::string>{"Choose a directory", "Choose a directory"}));
    EXPECT_TRUE(view.fileDialogsShown.empty());
}

TEST(VariablesButton, PutsTheHostsPickIntoTheField) {
    FakeHost host;
    OpenDialog dialog(aiPlayerStop);
    dialog.view.Type(1, "old");
    dialog.view.ClickVariables(1); // the host leaves the text as it is
    EXPECT_EQ(dialog.view.FieldText(1), "old");
    host.pickAnswer = "[Picked]";
    dialog.view.ClickVariables(1);
    EXPECT_EQ(dialog.view.FieldText(1), "[Picked]");
    EXPECT_EQ(dialog.view.focusedField, 1u);
    ASSERT_FALSE(host.requests.empty());
    EXPECT_EQ(host.requests.back().code, 14);
    EXPECT_EQ(host.requests.back().slotText, "old");

    host.pickAnswer = "";
    dialog.view.ClickVariables(1); // an empty pick keeps the text
    EXPECT_EQ(dialog.view.FieldText(1), "[Picked]");
}

TEST(VariablesButton, AnOldHostGetsTheVersionMessage) {
    FakeHost host;
    host.versionText = "4.2";
    host.pickAnswer = "[Picked]";
    OpenDialog dialog(aiOnRecordLevel);
    dialog.view.Type(1, "Sub");
    dialog.view.ClickVariables(1);
    EXPECT_EQ(dialog.view.FieldText(1), "Sub");
    EXPECT_EQ(host.messages, std::vector<std::string>{kNeedVersion5Text});
    EXPECT_EQ(dialog.view.focusedField, 1u);
}

TEST(SubroutineField, ListsTheHostsSubroutinesAndKeepsTypedText) {
    {
        FakeHost host;
        host.subroutineList = " Start\r\n\r\nПауза\r\nStop \r"_w1251;
        HostParams params{"1", "NotListed", "", "", ""};
        EditHeadless(aiOnPlayerPause, {params.Slots(), 5}, [](HeadlessEditView& view) {
            EXPECT_EQ(view.ListItems(1),
                      (std::vector<std::string>{"Start", "Пауза"_w1251, "Stop"}));
            EXPECT_EQ(view.FieldText(1), "NotListed");
            EXPECT_TRUE(view.ListItems(0).empty()); // text fields have no list
            view.Type(1, "Typed\"Name");
            return ModalResult::OK;
        });
        EXPECT_EQ(params.Text(1), "Typed[#34]Name");
    }
    FakeHost noInterface(FakeHost::Bind::WithoutInterfaceAccess);
    OpenDialog dialog(aiOnPlayerPause);
    EXPECT_TRUE(dialog.view.ListItems(1).empty());
}

} // namespace
