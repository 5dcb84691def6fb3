#include "host/Catalogue.h"

#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "support/FakeHost.h"

namespace {

// The catalogue as the host must see it, in registration order: ID, name and
// hint in UTF-8, and the type codes as a string of digits (empty for none).
struct ExpectedRow {
    int32_t id;
    const char* name;
    const char* hint;
    const char* codes;
};

const ExpectedRow kExpected[] = {
    {0, "Система воспроизведения", "", ""},
    {1, "duVozaPlayerCreate", "Создать систему воспроизведения WAV файлов.", "6"},
    {2, "duVozaPlayerDestroy", "Удалить ранее созданную систему воспроизведения WAV файлов.", "36"},
    {3, "duVozaPlayerDestroyAll", "Удалить все ранее созданные системы воспроизведения WAV файлов.",
     ""},
    {0, "Воспроизведение", "", ""},
    {4, "duVozaOutputDevices", "Получить все доступные устройства воспроизведения звука.", "66"},
    {5, "duVozaPlayerStart", "Начать воспроизведение звукового файла.", "3116"},
    {6, "duVozaPlayerStop", "Остановить воспроизведение звукового файла.", "36"},
    {7, "duVozaPlayerPause", "Приостановить воспроизведение звукового файла.", "36"},
    {8, "duVozaPlayerResume", "Возобновить воспроизведение звукового файла.", "36"},
    {9, "duVozaPlayerPosition", "Установить позицию воспроизведения звукового файла.", "336"},
    {10, "duVozaPlayerIsActive", "Определить запущена ли в данный момент система воспроизведения.",
     "36"},
    {11, "duVozaPlayerIsPaused",
     "Определить приостановлена ли в данный момент система воспроизведения.", "36"},
    {0, "Воспроизведение События", "", ""},
    {12, "zxOnPlayerError", "Установить подпрограмму когда произойдет ошибка воспроизведения.",
     "31666"},
    {13, "zxOnPlayerLevel",
     "Установить подпрограмму при изменении пикового уровня громкости в процентах.", "31666"},
    {14, "zxOnPlayerPause", "Установить подпрограмму когда проигрыватель приостановлен.", "31666"},
    {15, "zxOnPlayerResume",
     "Установить подпрограмму когда проигрыватель возобновит воспроизведение файла.", "31666"},
    {16, "zxOnPlayerPosition",
     "Установить подпрограмму при изменении позиции воспроизведения файла.", "31666"},
    {17, "zxOnPlayerActivate",
     "Установить подпрограмму когда проигрыватель начнет воспроизведение файла.", "316666"},
    {18, "zxOnPlayerDeactivate",
     "Установить подпрограмму когда проигрыватель закончит воспроизведение файла.", "31666"},
    {0, "Система записи", "", ""},
    {19, "duVozaRecordCreate", "Создать систему записи WAV файлов.", "6"},
    {20, "duVozaRecordDestroy", "Удалить ранее созданную систему записи WAV файлов.", "36"},
    {21, "duVozaRecordDestroyAll", "Удалить все ранее созданные системы записи WAV файлов.", ""},
    {0, "Запись", "", ""},
    {22, "duVozaInputDevices", "Получить все доступные устройства записи звука.", "66"},
    {23, "duVozaPCMFormats", "Получить все поддерживаемые РСМ форматы устройством записи.",
     "31666"},
    {24, "duVozaRecordStart", "Начать запись звукового файла.", "31116"},
    {25, "duVozaRecordStop", "Остановить запись звукового файла.", "36"},
    {26, "duVozaRecordPause", "Приостановить запись звукового файла.", "36"},
    {27, "duVozaRecordResume", "Возобновить запись звукового файла.", "36"},
    {28, "duVozaRecordIsActive", "Определить запущена ли в данный момент система записи.", "36"},
    {29, "duVozaRecordIsPaused", "Определить приостановлена ли в данный момент система записи.",
     "36"},
    {0, "Запись События", "", ""},
    {30, "zxOnRecordError", "Установить подпрограмму когда произойдет ошибка записи.", "31666"},
    {31, "zxOnRecordLevel",
     "Установить подпрограмму при изменении записи пикового уровня громкости в процентах.",
     "31666"},
    {32, "zxOnRecordPause", "Установить подпрограмму когда запись приостановлена.", "31666"},
    {33, "zxOnRecordResume", "Установить подпрограмму когда запись файла возобновится.", "31666"},
    {34, "zxOnRecordPosition", "Установить подпрограмму при изменении позиции записи файла.",
     "31666"},
    {35, "zxOnRecordActivate", "Установить подпрограмму которая когда начнется запись файла.",
     "31666"},
    {36, "zxOnRecordDeactivate", "Установить подпрограмму когда закончится запись файла.", "31666"},
    {0, "WAV файлы", "", ""},
    {37, "duVozaSub", "Сохранить часть звукового файла.", "11336"},
    {38, "duVozaInfo", "Получить информацию о WAV файле.", "16"},
    {39, "duVozaConcat", "Объединить два звуковых файла одинакового формата.", "11316"},
    {40, "duVozaInvert", "Изменить звучание WAV файла ( только формат PCM ).", "116"},
    {41, "duVozaDelete", "Удалить часть звукового файла.", "11336"},
    {42, "duVozaTrimStart", "Удалить часть звукового файла с начала.", "1136"},
    {43, "duVozaTrimEnd", "Удалить часть звукового файла с конца.", "1136"},
    {44, "duVozaChangeVolume", "Изменить громкость звучания (только формат PCM).", "1136"},
    {45, "duVozaInsertSilence", "Вставить тишину в звуковой файл (только формат PCM).", "11336"},
    {46, "duVozaConvertToPCM", "Конвертировать звуковой файл в указанный формат PCM.", "1116"},
};

std::vector<uint8_t> CodesOf(const ExpectedRow& row) {
    std::vector<uint8_t> codes;
    for (const char* c = row.codes; *c != '\0'; ++c)
        codes.push_back(static_cast<uint8_t>(*c - '0'));
    return codes;
}

TEST(Catalogue, RegistersTheFiftyThreeRowsExactly) {
    FakeHost host;
    host.RegisterPlugIn();
    ASSERT_EQ(host.actions.size(), std::size(kExpected));
    for (std::size_t i = 0; i < std::size(kExpected); ++i) {
        const ExpectedRow& want = kExpected[i];
        const RegisteredAction& got = host.actions[i];
        SCOPED_TRACE("row " + std::to_string(i + 1) + " " + want.name);
        const std::vector<uint8_t> codes = CodesOf(want);
        const auto count = static_cast<int32_t>(codes.size());
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.name, cp1251::FromUtf8(want.name));
        EXPECT_EQ(got.hint, cp1251::FromUtf8(want.hint));
        EXPECT_EQ(got.count, count);
        // A row without parameters still passes one code, 0, as its last element.
        EXPECT_EQ(got.lastIndex, count > 0 ? count - 1 : 0);
        EXPECT_EQ(got.typeCodes, count > 0 ? codes : std::vector<uint8_t>{0});
    }
}

TEST(Catalogue, CategoryRowsAndIdsAreInOrder) {
    FakeHost host;
    host.RegisterPlugIn();
    int categories = 0;
    int32_t next = 1;
    for (const RegisteredAction& row : host.actions) {
        if (row.id == 0) {
            ++categories;
            EXPECT_EQ(row.hint, "");
        } else {
            EXPECT_EQ(row.id, next++);
        }
    }
    EXPECT_EQ(categories, 7);
    EXPECT_EQ(next, 47);
    EXPECT_EQ(host.actions.front().name, cp1251::FromUtf8("Система воспроизведения"));
    EXPECT_EQ(host.actions.back().name, "duVozaConvertToPCM");
}

TEST(Catalogue, RegisteringAgainAnnouncesEverythingThroughTheNewCallback) {
    {
        FakeHost first;
        first.RegisterPlugIn();
        EXPECT_EQ(first.actions.size(), 53u);
    }
    FakeHost second;
    second.RegisterPlugIn();
    EXPECT_EQ(second.actions.size(), 53u);
}

TEST(Catalogue, WithoutAnAddActionCallbackNothingIsAnnounced) {
    FakeHost host;
    nbRegisterPlugIn(nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(host.actions.empty());
}

TEST(Catalogue, LookupsByActionId) {
    for (const ExpectedRow& want : kExpected) {
        if (want.id == 0)
            continue;
        SCOPED_TRACE(want.name);
        const std::vector<uint8_t> codes = CodesOf(want);
        EXPECT_EQ(std::string(ActionName(want.id)), want.name);
        EXPECT_EQ(std::string(ActionHint(want.id)), cp1251::FromUtf8(want.hint));
        EXPECT_EQ(ActionParamCount(want.id), static_cast<int32_t>(codes.size()));
        const std::span<const uint8_t> got = ActionTypeCodes(want.id);
        EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), codes);
        ASSERT_NE(FindAction(want.id), nullptr);
        EXPECT_EQ(FindAction(want.id)->id, want.id);
    }
    for (const int32_t unknown : {0, -1, 47, 1000, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(FindAction(unknown), nullptr);
        EXPECT_STREQ(ActionName(unknown), "");
        EXPECT_STREQ(ActionHint(unknown), "");
        EXPECT_EQ(ActionParamCount(unknown), 0);
        EXPECT_TRUE(ActionTypeCodes(unknown).empty());
    }
}

} // namespace
