// The real dialogs under a display, opened through the entry points and driven
// from a second thread.
#include <windows.h>

#include <dlgs.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "../HelpTestSupport.h"
#include "WindowDriver.h"
#include "dialogs/DialogModel.h"
#include "dialogs/PluginAboutForm.h"
#include "dialogs/PluginActionEditForm.h"
#include "dialogs/win32/ControlIds.h"
#include "host/Exports.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"

namespace {

using driver::Click;
using driver::Text;
using driver::WaitUntil;

std::string CaptionOf(int32_t id) {
    return PluginActionEditForm(*FindDialog(id)).Caption();
}

HWND Field(HWND dialog, std::size_t frame) {
    return GetDlgItem(dialog, controls::Field(static_cast<int>(frame)));
}

// The control IDs in the dialog's tab order, from its first field.
std::vector<int> TabOrderOf(HWND dialog) {
    std::vector<int> ids;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND at = first; at != nullptr && ids.size() < 20;) {
        ids.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(dialog, at, FALSE);
        if (at == first)
            break;
    }
    return ids;
}

// A top-level window standing for the host's main window, active while a
// dialog opens.
class HostWindow {
public:
    HostWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TonvaldTestHost";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, wc.lpszClassName, "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                  0, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
        SetActiveWindow(window_);
    }
    ~HostWindow() { DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_ = nullptr;
};

TEST(DialogWindows, EveryDialogShowsTheHostsTextsAndStoresWhatWasTyped) {
    HelpRegistration::RemoveHelpKeys();
    FakeHost host;
    host.subroutineList = "Начало\r\nOnLevel\r\n"_w1251;
    HostWindow hostWindow;
    for (int32_t id = 1; id <= kActionCount; ++id) {
        const DialogDesc* desc = FindDialog(id);
        if (desc == nullptr)
            continue;
        SCOPED_TRACE(ActionName(id));
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < desc->frameCount; ++i)
            texts.push_back("значение "_w1251 + std::to_string(i));
        HostParams params(texts);
        bool ownerDisabled = false;
        const int result = driver::Drive(
            [&] {
                HWND dialog = driver::WaitForDialog(CaptionOf(id));
                ASSERT_NE(dialog, nullptr);
                EXPECT_EQ(GetWindow(dialog, GW_OWNER), hostWindow.Get());
                ownerDisabled = !IsWindowEnabled(hostWindow.Get());
                RECT client{};
                GetClientRect(dialog, &client);
                EXPECT_EQ(client.right, kEditFormWidth);
                EXPECT_EQ(client.bottom, desc->clientHeight);
                EXPECT_EQ(Text(GetDlgItem(dialog, controls::kActionName)), ActionName(id));
                EXPECT_EQ(Text(GetDlgItem(dialog, controls::kDescription)), desc->description);
                EXPECT_EQ(Text(GetDlgItem(dialog, controls::kPluginName)), "duVoza plugin");
                EXPECT_TRUE(WaitUntil([&] { return driver::Focus(dialog) == Field(dialog, 0); }));

                std::vector<int> expectedOrder;
                for (const int8_t stop : desc->TabOrder()) {
                    if (stop == kButtonsTabStop)
                        expectedOrder.insert(expectedOrder.end(),
                                             {IDOK, IDCANCEL, controls::kHelpButton});
                    else
                        expectedOrder.push_back(controls::Field(stop));
                }
                EXPECT_EQ(TabOrderOf(dialog), expectedOrder);

                for (std::size_t i = 0; i < desc->frameCount; ++i) {
                    const FramePlacement& frame = desc->frames[i];
                    HWND field = Field(dialog, i);
                    EXPECT_EQ(Text(field), texts[i]);
                    EXPECT_EQ(Text(GetDlgItem(dialog, controls::FrameLabel(static_cast<int>(i)))),
                              frame.field.label);
                    EXPECT_NE(GetDlgItem(dialog, controls::VariablesButton(static_cast<int>(i))),
                              nullptr);
                    EXPECT_EQ(GetDlgItem(dialog, controls::FilesButton(static_cast<int>(i))) !=
                                  nullptr,
                              frame.field.files != FilesTag::None);
                    if (frame.field.kind == FrameKind::Subroutine) {
                        EXPECT_EQ(SendMessageA(field, CB_GETCOUNT, 0, 0), 2);
                        char item[32] = {};
                        SendMessageA(field, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
                        EXPECT_STREQ(item, "Начало"_w1251);
                    }
                    driver::SetText(field, "новое \""_w1251 + std::to_string(i) + "\"");
                }
                // Enter presses the default button, OK.
                driver::PostKey(dialog, VK_RETURN, true);
            },
            [&] { return nbEditAction(id, params.Slots(), params.LastIndex()); });
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(hostWindow.Get()));
        for (std::size_t i = 0; i < desc->frameCount; ++i)
            EXPECT_EQ(params.Text(i), "новое [#34]"_w1251 + std::to_string(i) + "[#34]");
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(DialogWindows, CancelEscAndTheCloseBoxTouchNothing) {
    FakeHost host;
    const std::function<void(HWND)> closers[] = {
        [](HWND dialog) { Click(GetDlgItem(dialog, IDCANCEL)); },
        [](HWND dialog) { driver::PostKey(dialog, VK_ESCAPE, true); },
        [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto& close : closers) {
        HostParams params{"3", "a\"b"};
        char* const before[] = {params.Slots()[0], params.Slots()[1]};
        const int result = driver::Drive(
            [&] {
                HWND dialog = driver::WaitForDialog(CaptionOf(aiRecordStop));
                ASSERT_NE(dialog, nullptr);
                driver::SetText(Field(dialog, 0), "changed");
                close(dialog);
                EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); }));
            },
            [&] { return nbEditAction(aiRecordStop, params.Slots(), params.LastIndex()); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(params.Slots()[0], before[0]);
        EXPECT_EQ(params.Slots()[1], before[1]);
        EXPECT_EQ(params.Text(1), "a\"b");
    }
}

TEST(DialogWindows, HelpOnF1ReleaseAndTheHelpButton) {
    HelpRegistration::RemoveHelpKeys();
    FakeHost host;
    HostParams params{"1", "", "", "", "", ""};
    const int result = driver::Drive(
        [&] {
            HWND dialog = driver::WaitForDialog(CaptionOf(aiOnPlayerActivate));
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(WaitUntil([&] { return driver::Focus(dialog) == Field(dialog, 0); }));
            driver::PostKey(dialog, VK_F1, true); // pressing it does nothing
            driver::PostKey(dialog, VK_F1, false);
            Click(GetDlgItem(dialog, controls::kHelpButton));
            driver::PostKey(dialog, VK_ESCAPE, true);
        },
        [&] { return nbEditAction(aiOnPlayerActivate, params.Slots(), params.LastIndex()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{help::kMissingHelpText, help::kMissingHelpText}));
}

TEST(DialogWindows, TheVariablesButtonAsksTheHost) {
    FakeHost host;
    host.pickAnswer = "Picked";
    HostParams params{"1", "old"};
    const int result = driver::Drive(
        [&] {
            HWND dialog = driver::WaitForDialog(CaptionOf(aiPlayerPause));
            ASSERT_NE(dialog, nullptr);
            Click(GetDlgItem(dialog, controls::VariablesButton(1)));
            EXPECT_TRUE(WaitUntil([&] { return Text(Field(dialog, 1)) == "Picked"; }));
            EXPECT_TRUE(WaitUntil([&] { return driver::Focus(dialog) == Field(dialog, 1); }));
            Click(GetDlgItem(dialog, IDOK));
        },
        [&] { return nbEditAction(aiPlayerPause, params.Slots(), params.LastIndex()); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(params.Text(1), "Picked");
    ASSERT_FALSE(host.requests.empty());
    EXPECT_EQ(host.requests.back().code, 14);
    EXPECT_EQ(host.requests.back().slotText, "old");
}

// Picks files in the real open-file or save-file dialog of a file button:
// `typed` goes into its file name box.
void PickInFileDialog(HWND dialog, int filesButton, const std::string& typed) {
    Click(GetDlgItem(dialog, filesButton));
    HWND files = driver::WaitForOwnedDialog(dialog);
    ASSERT_NE(files, nullptr);
    HWND name = GetDlgItem(files, cmb13);
    if (name == nullptr)
        name = GetDlgItem(files, edt1);
    ASSERT_NE(name, nullptr);
    driver::SetText(name, typed);
    Click(GetDlgItem(files, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(files) || !IsWindowVisible(files); }));
}

TEST(DialogWindows, FileButtonsPickFilesInTheSystemsDialogs) {
    FakeHost host;
    const std::filesystem::path folder = std::filesystem::absolute("dialog-files.tmp");
    std::filesystem::create_directories(folder);
    for (const char* name : {"a.wav", "b.wav"})
        std::ofstream(folder / name) << "RIFF";
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(folder.string().c_str());
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string dir = std::string(current) + "\\";

    HostParams start{"1", "", "", ""};
    EXPECT_EQ(driver::Drive(
                  [&] {
                      HWND dialog = driver::WaitForDialog(CaptionOf(aiPlayerStart));
                      ASSERT_NE(dialog, nullptr);
                      PickInFileDialog(dialog, controls::FilesButton(1), "\"a.wav\" \"b.wav\"");
                      EXPECT_TRUE(WaitUntil([&] { return !Text(Field(dialog, 1)).empty(); }));
                      EXPECT_TRUE(
                          WaitUntil([&] { return driver::Focus(dialog) == Field(dialog, 1); }));
                      Click(GetDlgItem(dialog, IDOK));
                  },
                  [&] { return nbEditAction(aiPlayerStart, start.Slots(), start.LastIndex()); }),
              1);
    EXPECT_EQ(start.Text(1), dir + "a.wav|" + dir + "b.wav");

    // The save dialog of a recording appends to the path already there.
    HostParams record{"1", "C:\\old.wav", "", "", ""};
    EXPECT_EQ(driver::Drive(
                  [&] {
                      HWND dialog = driver::WaitForDialog(CaptionOf(aiRecordStart));
                      ASSERT_NE(dialog, nullptr);
                      PickInFileDialog(dialog, controls::FilesButton(1), "new.wav");
                      EXPECT_TRUE(
                          WaitUntil([&] { return Text(Field(dialog, 1)) != "C:\\old.wav"; }));
                      Click(GetDlgItem(dialog, IDOK));
                  },
                  [&] { return nbEditAction(aiRecordStart, record.Slots(), record.LastIndex()); }),
              1);
    EXPECT_EQ(record.Text(1), "C:\\old.wav|" + dir + "new.wav");

    // The information dialog's save dialog takes an existing file.
    HostParams info{"", "r"};
    EXPECT_EQ(driver::Drive(
                  [&] {
                      HWND dialog = driver::WaitForDialog(CaptionOf(aiInfo));
                      ASSERT_NE(dialog, nullptr);
                      PickInFileDialog(dialog, controls::FilesButton(0), "a.wav");
                      EXPECT_TRUE(WaitUntil([&] { return !Text(Field(dialog, 0)).empty(); }));
                      // A cancelled dialog changes nothing.
                      Click(GetDlgItem(dialog, controls::FilesButton(0)));
                      HWND files = driver::WaitForOwnedDialog(dialog);
                      ASSERT_NE(files, nullptr);
                      Click(GetDlgItem(files, IDCANCEL));
                      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(files); }));
                      Click(GetDlgItem(dialog, IDOK));
                  },
                  [&] { return nbEditAction(aiInfo, info.Slots(), info.LastIndex()); }),
              1);
    EXPECT_EQ(info.Text(0), dir + "a.wav");

    SetCurrentDirectoryA(previous);
    std::filesystem::remove_all(folder);
}

TEST(AboutWindow, ShowsTheIdentityAndClosesWithEscOrEnter) {
    HelpRegistration::RemoveHelpKeys();
    FakeHost host;
    const PluginAboutForm form(PluginAboutTexts());
    for (const unsigned key : {VK_ESCAPE, VK_RETURN}) {
        driver::Drive(
            [&] {
                HWND about = driver::WaitForDialog(form.Caption());
                ASSERT_NE(about, nullptr);
                EXPECT_EQ(Text(GetDlgItem(about, controls::kAboutNameVersion)), "duVoza 1.4");
                EXPECT_EQ(Text(GetDlgItem(about, controls::kAboutReleaseDate)), "12/07/2011");
                EXPECT_EQ(Text(GetDlgItem(about, controls::kAboutHint)), form.Texts().description);
                EXPECT_EQ(Text(GetDlgItem(about, controls::kAboutThirdparty)), form.Texts().credit);
                EXPECT_TRUE(IsWindowVisible(GetDlgItem(about, controls::kAboutThirdpartyLabel)));
                EXPECT_EQ(Text(GetDlgItem(about, controls::kAboutWebsite)), form.Texts().website);
                HWND ok = GetDlgItem(about, IDOK);
                EXPECT_TRUE(WaitUntil([&] { return driver::Focus(about) == ok; }));
                RECT client{};
                GetClientRect(about, &client);
                EXPECT_EQ(client.right, 535);
                EXPECT_EQ(client.bottom, 392);
                driver::PostKey(about, key, true);
                EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); }));
            },
            [&] {
                nbAbout();
                return 0;
            });
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(AboutWindow, HelpFromTheMemoTheButtonAndF1) {
    HelpRegistration::RemoveHelpKeys();
    FakeHost host;
    const PluginAboutForm form(PluginAboutTexts());
    driver::Drive(
        [&] {
            HWND about = driver::WaitForDialog(form.Caption());
            ASSERT_NE(about, nullptr);
            HWND ok = GetDlgItem(about, IDOK);
            HWND help = GetDlgItem(about, controls::kAboutHelpButton);
            HWND memo = GetDlgItem(about, controls::kAboutHint);
            ASSERT_TRUE(WaitUntil([&] { return driver::Focus(about) == ok; }));
            driver::PostKey(about, VK_TAB, true);
            ASSERT_TRUE(WaitUntil([&] { return driver::Focus(about) == help; }));
            // A click on the description opens help and hands the focus back to OK.
            PostMessageA(memo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
            PostMessageA(memo, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
            EXPECT_TRUE(WaitUntil([&] { return driver::Focus(about) == ok; }));
            Click(help);
            driver::PostKey(about, VK_F1, false);
            Click(ok);
        },
        [&] {
            nbAbout();
            return 0;
        });
    EXPECT_EQ(host.messages, std::vector<std::string>(3, help::kMissingHelpText));
}

} // namespace
