// The 44 dialogs: what each edits, and the layout rules every one keeps.
#include "dialogs/DialogModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "dialogs/PluginActionEditForm.h"
#include "platform/Cp1251.h"

namespace {

// A name width as the title font gives it, roughly.
constexpr int kNameWidth = 120;

bool Inside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.Right() <= outer.Right() &&
           inner.Bottom() <= outer.Bottom();
}

bool Overlap(const Rect& a, const Rect& b) {
    return a.left < b.Right() && b.left < a.Right() && a.top < b.Bottom() && b.top < a.Bottom();
}

std::string Describe(const Rect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d, %d, %d x %d)", r.left, r.top, r.width, r.height);
    return text;
}

std::vector<int32_t> ActionsWithParameters() {
    std::vector<int32_t> ids;
    for (int32_t id = 1; id <= kActionCount; ++id)
        if (ActionParamCount(id) > 0)
            ids.push_back(id);
    return ids;
}

TEST(Dialogs, EveryActionWithParametersHasOneFramePerParameterOfTheRightKind) {
    const std::vector<int32_t> ids = ActionsWithParameters();
    EXPECT_EQ(ids.size(), 44u);
    for (const int32_t id : ids) {
        SCOPED_TRACE(ActionName(id));
        const DialogDesc* desc = FindDialog(id);
        ASSERT_NE(desc, nullptr);
        ASSERT_EQ(desc->frameCount, static_cast<std::size_t>(ActionParamCount(id)));
        const std::span<const uint8_t> codes = ActionTypeCodes(id);
        for (std::size_t i = 0; i < desc->frameCount; ++i) {
            const FieldDesc& field = desc->frames[i].field;
            SCOPED_TRACE(field.name);
            if (field.role == FieldRole::ObjectId) {
                EXPECT_EQ(codes[i], kParamInteger);
            }
            if (field.role == FieldRole::Result) {
                EXPECT_EQ(codes[i], kParamVariable);
            }
            if (field.files != FilesTag::None || field.kind == FrameKind::Subroutine) {
                EXPECT_EQ(codes[i], kParamText);
            }
            // Only the event dialogs choose a subroutine, always in the second field.
            EXPECT_EQ(field.kind == FrameKind::Subroutine,
                      i == 1 && std::strncmp(ActionName(id), "zxOn", 4) == 0);
            EXPECT_NE(field.files, FilesTag::Folder);
        }
    }
}

TEST(Dialogs, CaptionsAndDescriptions) {
    const std::string seeHelp =
        "При успешном выполнении возвращает в переменную True, в противном случае False. См. "
        "Справку."_w1251;
    const std::string trueOrFalse =
        "При успешном выполнении возвращает в переменную True, в противном случае False."_w1251;
    const std::string errorText = "Переменная будет содержать текст ошибки. См. справку."_w1251;
    for (const int32_t id : ActionsWithParameters()) {
        SCOPED_TRACE(ActionName(id));
        const DialogDesc& desc = *FindDialog(id);
        PluginActionEditForm form(desc);
        EXPECT_EQ(form.Caption(),
                  std::string(ActionName(id)) +
                      (id == aiOnPlayerActivate ? " Свойства"_w1251 : " свойства"_w1251));
        const std::string text = desc.description;
        const std::size_t brk = text.find("\r\n");
        ASSERT_NE(brk, 0u);
        if (brk != std::string::npos) {
            const std::string second = text.substr(brk + 2);
            EXPECT_TRUE(second == seeHelp || second == trueOrFalse || second == errorText)
                << second;
        }
    }
    EXPECT_STREQ(FindDialog(aiOutputDevices)->description,
                 "Получить все доступные устройства воспроизведения звука и сохранить в массиве "
                 "переменных. "_w1251);
    EXPECT_STREQ(FindDialog(aiPCMFormats)->description,
                 "Получить все поддерживаемые \u0420\u0421\u041c форматы устройством записи и "
                 "сохранить в массиве переменных.\r\nПри успешном выполнении возвращает в "
                 "переменную True, в противном случае False."_w1251);
}

TEST(Dialogs, LayoutRules) {
    for (const int32_t id : ActionsWithParameters()) {
        SCOPED_TRACE(ActionName(id));
        const DialogDesc& desc = *FindDialog(id);
        const EditFormLayout layout = LayOutEditForm(desc, kNameWidth);
        EXPECT_EQ(layout.client.width, 441);
        EXPECT_GE(layout.client.height, 220);
        EXPECT_LE(layout.client.height, 536);

        std::vector<Rect> controls = {
            layout.titleTab,   layout.descriptionBox, layout.descriptionText,
            layout.pluginIcon, layout.pluginName,     layout.copyright,
            layout.okButton,   layout.cancelButton,   layout.helpButton};
        const auto frames = layout.Frames();
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const FrameLayout& f = frames[i];
            SCOPED_TRACE(desc.frames[i].field.name);
            controls.push_back(f.frame);
            EXPECT_TRUE(Inside(f.background, f.frame));
            std::vector<Rect> parts = {f.field, f.variablesButton};
            if (f.filesButton) {
                parts.push_back(*f.separator);
                parts.push_back(*f.filesButton);
            }
            for (std::size_t a = 0; a < parts.size(); ++a) {
                EXPECT_TRUE(Inside(parts[a], f.background)) << Describe(parts[a]);
                EXPECT_FALSE(Overlap(parts[a], f.label));
                for (std::size_t b = a + 1; b < parts.size(); ++b)
                    EXPECT_FALSE(Overlap(parts[a], parts[b]));
            }
            EXPECT_TRUE(f.frame.left == 8 || f.frame.left == 9);
            if (i == 0) {
                EXPECT_TRUE(f.frame.top == 7 || f.frame.top == 8);
            } else {
                const int step = f.frame.top - frames[i - 1].frame.top;
                EXPECT_GE(step, 62);
                EXPECT_LE(step, 64);
                EXPECT_FALSE(Overlap(f.frame, frames[i - 1].frame));
            }
        }
        for (const Rect& control : controls)
            EXPECT_TRUE(Inside(control, layout.client)) << Describe(control);

        const int lastBottom = frames.back().frame.Bottom();
        EXPECT_GE(layout.titleTab.top - lastBottom, 2);
        EXPECT_EQ(layout.descriptionBox.top, layout.titleTab.top + 20);
        EXPECT_TRUE(Inside(layout.descriptionText, layout.descriptionBox));
        EXPECT_EQ(layout.pluginIcon.top, layout.descriptionBox.Bottom() + 9);
        const int iconToBottom = layout.client.Bottom() - layout.pluginIcon.Bottom();
        EXPECT_GE(iconToBottom, 7);
        EXPECT_LE(iconToBottom, 8);
        for (const Rect& label : {layout.pluginName, layout.copyright})
            for (const Rect& button : {layout.okButton, layout.cancelButton, layout.helpButton})
                EXPECT_FALSE(Overlap(label, button));
        EXPECT_EQ(layout.cancelButton.left - layout.okButton.Right(), 5);
        EXPECT_EQ(layout.helpButton.left - layout.cancelButton.Right(), 5);

        // Tab order: every field once, top to bottom, then the buttons; action
        // 17 alone puts its third field after the buttons.
        std::vector<int8_t> order(desc.TabOrder().begin(), desc.TabOrder().end());
        std::vector<int8_t> expected;
        for (std::size_t i = 0; i < desc.frameCount; ++i)
            expected.push_back(static_cast<int8_t>(i));
        expected.push_back(kButtonsTabStop);
        if (id == aiOnPlayerActivate)
            expected = {0, 1, 3, 4, 5, kButtonsTabStop, 2};
        EXPECT_EQ(order, expected);
    }
}

TEST(Dialogs, TheModelDialogsKeepTheirGivenPlaces) {
    {
        const DialogDesc& d = *FindDialog(aiPlayerStart);
        const EditFormLayout l = LayOutEditForm(d, kNameWidth);
        EXPECT_EQ(l.client.height, 407);
        std::vector<int> tops, widths;
        for (const FrameLayout& f : l.Frames()) {
            tops.push_back(f.frame.top);
            widths.push_back(f.frame.width);
            EXPECT_EQ(f.field.width, 261);
            EXPECT_EQ(f.variablesButton.left - f.frame.left, 280);
        }
        EXPECT_EQ(tops, (std::vector<int>{7, 70, 133, 196}));
        EXPECT_EQ(widths, (std::vector<int>{362, 361, 353, 353}));
        EXPECT_EQ(l.frames[1].separator->left - 8, 313);
        EXPECT_EQ(l.frames[1].filesButton->left - 8, 323);
        EXPECT_EQ(d.frames[1].field.files, FilesTag::OpenFile);
        EXPECT_EQ(Describe(l.titleTab), "(11, 264, 137 x 30)");
        EXPECT_EQ(Describe(l.descriptionBox), "(11, 284, 422 x 75)");
        EXPECT_EQ(l.pluginIcon.top, 368);
        EXPECT_EQ(l.pluginName.top, 368);
        EXPECT_EQ(l.copyright.top, 383);
        EXPECT_EQ(Describe(l.okButton), "(198, 371, 75 x 25)");
        EXPECT_EQ(Describe(l.helpButton), "(358, 371, 75 x 25)");
    }
    {
        const DialogDesc& d = *FindDialog(aiRecordStart);
        const EditFormLayout l = LayOutEditForm(d, kNameWidth);
        EXPECT_EQ(d.frames[1].field.files, FilesTag::SaveFile);
        EXPECT_EQ(Describe(l.titleTab), "(11, 327, 142 x 30)");
        EXPECT_EQ(l.descriptionBox.top, 347);
        EXPECT_EQ(l.pluginIcon.top, 431);
        EXPECT_EQ(l.okButton.top, 434);
    }
    {
        const EditFormLayout l = LayOutEditForm(*FindDialog(aiOnPlayerLevel), kNameWidth);
        std::vector<int> tops, edits, buttons;
        for (const FrameLayout& f : l.Frames()) {
            tops.push_back(f.frame.top);
            edits.push_back(f.field.width);
            buttons.push_back(f.variablesButton.left - f.frame.left);
            EXPECT_EQ(f.frame.width, 362);
        }
        EXPECT_EQ(tops, (std::vector<int>{8, 72, 134, 196, 259}));
        EXPECT_EQ(edits, (std::vector<int>{295, 304, 304, 304, 295}));
        EXPECT_EQ(buttons, (std::vector<int>{314, 323, 323, 323, 314}));
    }
    {
        const DialogDesc& d = *FindDialog(aiConcat);
        const EditFormLayout l = LayOutEditForm(d, kNameWidth);
        std::vector<int> tops;
        std::vector<FilesTag> files;
        for (std::size_t i = 0; i < d.frameCount; ++i) {
            tops.push_back(l.frames[i].frame.top);
            files.push_back(d.frames[i].field.files);
            EXPECT_EQ(l.frames[i].frame.width, 361);
        }
        EXPECT_EQ(tops, (std::vector<int>{8, 71, 134, 198, 262}));
        EXPECT_EQ(files,
                  (std::vector<FilesTag>{FilesTag::OpenFile, FilesTag::OpenFile, FilesTag::None,
                                         FilesTag::SaveFile, FilesTag::None}));
        EXPECT_EQ(Describe(l.titleTab).substr(0, 9), "(11, 345,");
        EXPECT_EQ(l.pluginIcon.top, 449);
        EXPECT_EQ(l.okButton.top, 452);
    }
    {
        const DialogDesc& d = *FindDialog(aiInsertSilence);
        const EditFormLayout l = LayOutEditForm(d, kNameWidth);
        EXPECT_EQ(l.frames[1].frame.left, 9);
        EXPECT_EQ(l.titleTab.width, 153);
        EXPECT_EQ(l.frames[2].frame.width, 353);
    }
    // A name wider than the base tab widens it.
    const DialogDesc& stop = *FindDialog(aiPlayerStop);
    EXPECT_EQ(LayOutEditForm(stop, 50).titleTab.width, kMinTitleWidth);
    EXPECT_EQ(LayOutEditForm(stop, 130).titleTab.width, 166);
}

TEST(Dialogs, FieldsKeepTheirLabelsEverywhere) {
    std::vector<std::pair<std::string, std::string>> seen;
    for (const int32_t id : ActionsWithParameters())
        for (const FramePlacement& frame : FindDialog(id)->Frames())
            seen.emplace_back(frame.field.name, frame.field.label);
    auto labelsOf = [&](const std::string& name) {
        std::vector<std::string> labels;
        for (const auto& [n, l] : seen)
            if (n == name && std::find(labels.begin(), labels.end(), l) == labels.end())
                labels.push_back(l);
        return labels;
    };
    // The result field names the variable of a new object in the create
    // dialogs and an array in the information dialog.
    EXPECT_EQ(labelsOf("ResultVarFrame"),
              (std::vector<std::string>{"Сохранить идентификатор в переменной:"_w1251,
                                        "Сохранить результат в переменной:"_w1251,
                                        "Сохранить в массиве на основе переменной:"_w1251}));
    for (const char* name : {"ObjectIDFrame", "WavePathFrame", "SubroutineFrame", "InWaveFrame",
                             "OutWaveFrame", "PositionVarFrame", "LevelVarFrame"})
        EXPECT_EQ(labelsOf(name).size(), 1u) << name;
    EXPECT_EQ(labelsOf("LevelVarFrame")[0], "Пиковый уровень громкости (в %):"_w1251);
}

} // namespace
