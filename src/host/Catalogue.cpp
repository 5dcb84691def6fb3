#include "host/Catalogue.h"

#include <utility>

#include "host/HostBindings.h"
#include "platform/Cp1251.h"

namespace {

// In registration order: a category row announces the group of the actions
// that follow it.
constexpr std::array<CatalogueRow, kCatalogueRowCount> kCatalogue{{
    {0, "Система воспроизведения"_w1251, "", 0, {kParamNone}},
    {1,
     "duVozaPlayerCreate",
     "Создать систему воспроизведения WAV файлов."_w1251,
     1,
     {kParamVariable}},
    {2,
     "duVozaPlayerDestroy",
     "Удалить ранее созданную систему воспроизведения WAV файлов."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {3,
     "duVozaPlayerDestroyAll",
     "Удалить все ранее созданные системы воспроизведения WAV файлов."_w1251,
     0,
     {kParamNone}},
    {0, "Воспроизведение"_w1251, "", 0, {kParamNone}},
    {4,
     "duVozaOutputDevices",
     "Получить все доступные устройства воспроизведения звука."_w1251,
     2,
     {kParamVariable, kParamVariable}},
    {5,
     "duVozaPlayerStart",
     "Начать воспроизведение звукового файла."_w1251,
     4,
     {kParamInteger, kParamText, kParamText, kParamVariable}},
    {6,
     "duVozaPlayerStop",
     "Остановить воспроизведение звукового файла."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {7,
     "duVozaPlayerPause",
     "Приостановить воспроизведение звукового файла."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {8,
     "duVozaPlayerResume",
     "Возобновить воспроизведение звукового файла."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {9,
     "duVozaPlayerPosition",
     "Установить позицию воспроизведения звукового файла."_w1251,
     3,
     {kParamInteger, kParamInteger, kParamVariable}},
    {10,
     "duVozaPlayerIsActive",
     "Определить запущена ли в данный момент система воспроизведения."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {11,
     "duVozaPlayerIsPaused",
     "Определить приостановлена ли в данный момент система воспроизведения."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {0, "Воспроизведение События"_w1251, "", 0, {kParamNone}},
    {12,
     "zxOnPlayerError",
     "Установить подпрограмму когда произойдет ошибка воспроизведения."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {13,
     "zxOnPlayerLevel",
     "Установить подпрограмму при изменении пикового уровня громкости в процентах."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {14,
     "zxOnPlayerPause",
     "Установить подпрограмму когда проигрыватель приостановлен."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {15,
     "zxOnPlayerResume",
     "Установить подпрограмму когда проигрыватель возобновит воспроизведение файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {16,
     "zxOnPlayerPosition",
     "Установить подпрограмму при изменении позиции воспроизведения файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {17,
     "zxOnPlayerActivate",
     "Установить подпрограмму когда проигрыватель начнет воспроизведение файла."_w1251,
     6,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable, kParamVariable}},
    {18,
     "zxOnPlayerDeactivate",
     "Установить подпрограмму когда проигрыватель закончит воспроизведение файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {0, "Система записи"_w1251, "", 0, {kParamNone}},
    {19, "duVozaRecordCreate", "Создать систему записи WAV файлов."_w1251, 1, {kParamVariable}},
    {20,
     "duVozaRecordDestroy",
     "Удалить ранее созданную систему записи WAV файлов."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {21,
     "duVozaRecordDestroyAll",
     "Удалить все ранее созданные системы записи WAV файлов."_w1251,
     0,
     {kParamNone}},
    {0, "Запись"_w1251, "", 0, {kParamNone}},
    {22,
     "duVozaInputDevices",
     "Получить все доступные устройства записи звука."_w1251,
     2,
     {kParamVariable, kParamVariable}},
    {23,
     "duVozaPCMFormats",
     "Получить все поддерживаемые РСМ форматы устройством записи."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {24,
     "duVozaRecordStart",
     "Начать запись звукового файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamText, kParamText, kParamVariable}},
    {25,
     "duVozaRecordStop",
     "Остановить запись звукового файла."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {26,
     "duVozaRecordPause",
     "Приостановить запись звукового файла."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {27,
     "duVozaRecordResume",
     "Возобновить запись звукового файла."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {28,
     "duVozaRecordIsActive",
     "Определить запущена ли в данный момент система записи."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {29,
     "duVozaRecordIsPaused",
     "Определить приостановлена ли в данный момент система записи."_w1251,
     2,
     {kParamInteger, kParamVariable}},
    {0, "Запись События"_w1251, "", 0, {kParamNone}},
    {30,
     "zxOnRecordError",
     "Установить подпрограмму когда произойдет ошибка записи."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {31,
     "zxOnRecordLevel",
     "Установить подпрограмму при изменении записи пикового уровня громкости в процентах."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {32,
     "zxOnRecordPause",
     "Установить подпрограмму когда запись приостановлена."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {33,
     "zxOnRecordResume",
     "Установить подпрограмму когда запись файла возобновится."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {34,
     "zxOnRecordPosition",
     "Установить подпрограмму при изменении позиции записи файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {35,
     "zxOnRecordActivate",
     "Установить подпрограмму которая когда начнется запись файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {36,
     "zxOnRecordDeactivate",
     "Установить подпрограмму когда закончится запись файла."_w1251,
     5,
     {kParamInteger, kParamText, kParamVariable, kParamVariable, kParamVariable}},
    {0, "WAV файлы"_w1251, "", 0, {kParamNone}},
    {37,
     "duVozaSub",
     "Сохранить часть звукового файла."_w1251,
     5,
     {kParamText, kParamText, kParamInteger, kParamInteger, kParamVariable}},
    {38, "duVozaInfo", "Получить информацию о WAV файле."_w1251, 2, {kParamText, kParamVariable}},
    {39,
     "duVozaConcat",
     "Объединить два звуковых файла одинакового формата."_w1251,
     5,
     {kParamText, kParamText, kParamInteger, kParamText, kParamVariable}},
    {40,
     "duVozaInvert",
     "Изменить звучание WAV файла ( только формат PCM )."_w1251,
     3,
     {kParamText, kParamText, kParamVariable}},
    {41,
     "duVozaDelete",
     "Удалить часть звукового файла."_w1251,
     5,
     {kParamText, kParamText, kParamInteger, kParamInteger, kParamVariable}},
    {42,
     "duVozaTrimStart",
     "Удалить часть звукового файла с начала."_w1251,
     4,
     {kParamText, kParamText, kParamInteger, kParamVariable}},
    {43,
     "duVozaTrimEnd",
     "Удалить часть звукового файла с конца."_w1251,
     4,
     {kParamText, kParamText, kParamInteger, kParamVariable}},
    {44,
     "duVozaChangeVolume",
     "Изменить громкость звучания (только формат PCM)."_w1251,
     4,
     {kParamText, kParamText, kParamInteger, kParamVariable}},
    {45,
     "duVozaInsertSilence",
     "Вставить тишину в звуковой файл (только формат PCM)."_w1251,
     5,
     {kParamText, kParamText, kParamInteger, kParamInteger, kParamVariable}},
    {46,
     "duVozaConvertToPCM",
     "Конвертировать звуковой файл в указанный формат PCM."_w1251,
     4,
     {kParamText, kParamText, kParamText, kParamVariable}},
}};

// Row index of each action ID (index 0 unused).
constexpr std::array<std::size_t, kActionCount + 1> kRowOfAction = [] {
    std::array<std::size_t, kActionCount + 1> rows{};
    for (std::size_t i = 0; i < kCatalogue.size(); ++i)
        if (kCatalogue[i].id > 0)
            rows[static_cast<std::size_t>(kCatalogue[i].id)] = i;
    return rows;
}();

constexpr bool CatalogueIsConsistent() {
    int32_t next = 1;
    for (const CatalogueRow& row : kCatalogue) {
        if (row.id != 0 && row.id != next++)
            return false;
        if (row.paramCount < 0 || row.paramCount > static_cast<int32_t>(kMaxActionParams))
            return false;
        if (row.paramCount == 0 && row.typeCodes[0] != kParamNone)
            return false;
        for (int32_t i = 0; i < row.paramCount; ++i)
            if (row.typeCodes[static_cast<std::size_t>(i)] == kParamNone)
                return false;
    }
    return next == kActionCount + 1;
}
static_assert(CatalogueIsConsistent(), "action IDs must rise from 1 to 46 with their codes");

constexpr bool SameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr bool IdsMatchNames() {
    constexpr std::pair<ActionId, const char*> kNamed[] = {
        {aiPlayerCreate, "duVozaPlayerCreate"},
        {aiPlayerDestroy, "duVozaPlayerDestroy"},
        {aiPlayerDestroyAll, "duVozaPlayerDestroyAll"},
        {aiOutputDevices, "duVozaOutputDevices"},
        {aiPlayerStart, "duVozaPlayerStart"},
        {aiPlayerStop, "duVozaPlayerStop"},
        {aiPlayerPause, "duVozaPlayerPause"},
        {aiPlayerResume, "duVozaPlayerResume"},
        {aiPlayerPosition, "duVozaPlayerPosition"},
        {aiPlayerIsActive, "duVozaPlayerIsActive"},
        {aiPlayerIsPaused, "duVozaPlayerIsPaused"},
        {aiOnPlayerError, "zxOnPlayerError"},
        {aiOnPlayerLevel, "zxOnPlayerLevel"},
        {aiOnPlayerPause, "zxOnPlayerPause"},
        {aiOnPlayerResume, "zxOnPlayerResume"},
        {aiOnPlayerPosition, "zxOnPlayerPosition"},
        {aiOnPlayerActivate, "zxOnPlayerActivate"},
        {aiOnPlayerDeactivate, "zxOnPlayerDeactivate"},
        {aiRecordCreate, "duVozaRecordCreate"},
        {aiRecordDestroy, "duVozaRecordDestroy"},
        {aiRecordDestroyAll, "duVozaRecordDestroyAll"},
        {aiInputDevices, "duVozaInputDevices"},
        {aiPCMFormats, "duVozaPCMFormats"},
        {aiRecordStart, "duVozaRecordStart"},
        {aiRecordStop, "duVozaRecordStop"},
        {aiRecordPause, "duVozaRecordPause"},
        {aiRecordResume, "duVozaRecordResume"},
        {aiRecordIsActive, "duVozaRecordIsActive"},
        {aiRecordIsPaused, "duVozaRecordIsPaused"},
        {aiOnRecordError, "zxOnRecordError"},
        {aiOnRecordLevel, "zxOnRecordLevel"},
        {aiOnRecordPause, "zxOnRecordPause"},
        {aiOnRecordResume, "zxOnRecordResume"},
        {aiOnRecordPosition, "zxOnRecordPosition"},
        {aiOnRecordActivate, "zxOnRecordActivate"},
        {aiOnRecordDeactivate, "zxOnRecordDeactivate"},
        {aiSub, "duVozaSub"},
        {aiInfo, "duVozaInfo"},
        {aiConcat, "duVozaConcat"},
        {aiInvert, "duVozaInvert"},
        {aiDelete, "duVozaDelete"},
        {aiTrimStart, "duVozaTrimStart"},
        {aiTrimEnd, "duVozaTrimEnd"},
        {aiChangeVolume, "duVozaChangeVolume"},
        {aiInsertSilence, "duVozaInsertSilence"},
        {aiConvertToPCM, "duVozaConvertToPCM"},
    };
    for (const auto& [id, name] : kNamed)
        if (!SameText(kCatalogue[kRowOfAction[static_cast<std::size_t>(id)]].name, name))
            return false;
    return true;
}
static_assert(IdsMatchNames(), "ActionId names must match the catalogue");

} // namespace

std::span<const CatalogueRow, kCatalogueRowCount> CatalogueRows() {
    return kCatalogue;
}

const CatalogueRow* FindAction(int32_t id) {
    if (id < 1 || id > kActionCount)
        return nullptr;
    return &kCatalogue[kRowOfAction[static_cast<std::size_t>(id)]];
}

const char* ActionName(int32_t id) {
    const CatalogueRow* row = FindAction(id);
    return row != nullptr ? row->name : "";
}

const char* ActionHint(int32_t id) {
    const CatalogueRow* row = FindAction(id);
    return row != nullptr ? row->hint : "";
}

int32_t ActionParamCount(int32_t id) {
    const CatalogueRow* row = FindAction(id);
    return row != nullptr ? row->paramCount : 0;
}

std::span<const uint8_t> ActionTypeCodes(int32_t id) {
    const CatalogueRow* row = FindAction(id);
    if (row == nullptr)
        return {};
    return std::span<const uint8_t>(row->typeCodes.data(),
                                    static_cast<std::size_t>(row->paramCount));
}

void RegisterActions() {
    const AddActionProc addAction = HostAddAction;
    if (addAction == nullptr)
        return;
    for (const CatalogueRow& row : kCatalogue) {
        // The host copies what it keeps; it gets a copy of the codes for the call.
        std::array<uint8_t, kMaxActionParams> codes = row.typeCodes;
        const int32_t lastIndex = row.paramCount > 0 ? row.paramCount - 1 : 0;
        // The stack arguments stand reversed in the callback's type (Exports.h).
        addAction(row.id, row.name, row.hint, row.paramCount, lastIndex, codes.data());
    }
}
