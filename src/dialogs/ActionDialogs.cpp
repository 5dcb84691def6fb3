// The dialogs of the 44 actions that have parameters. Adding a dialog is
// adding a row below.
#include <initializer_list>

#include "dialogs/DialogModel.h"
#include "platform/Cp1251.h"

namespace {

// --- fields --------------------------------------------------------------------

constexpr FieldDesc kObjectID{"ObjectIDFrame", "Идентификатор:"_w1251, FrameKind::Text,
                              FilesTag::None, FieldRole::ObjectId};
constexpr FieldDesc kResultVar{"ResultVarFrame", "Сохранить результат в переменной:"_w1251,
                               FrameKind::Text, FilesTag::None, FieldRole::Result};
constexpr FieldDesc kSubroutine{"SubroutineFrame", "Подпрограмма:"_w1251, FrameKind::Subroutine};
constexpr FieldDesc kObjectIDVar{"ObjectIDVarFrame", "Сохранить идентификатор в переменной:"_w1251};
constexpr FieldDesc kWavePath{"WavePathFrame", "Путь к файлу:"_w1251};
constexpr FieldDesc kOutputDevice{"OutputDeviceFrame", "Устройство воспроизведения звука:"_w1251};
constexpr FieldDesc kInputDevice{"InputDeviceFrame", "Устройство записи звука:"_w1251};
constexpr FieldDesc kPCMFormat{"PCMFormatFrame", "PCM формат записи:"_w1251};
constexpr FieldDesc kPosition{"PositionFrame", "Позиция воспроизведения:"_w1251};
constexpr FieldDesc kDevices{"DevicesFrame", "Сохранить в массиве на основе переменной:"_w1251};
constexpr FieldDesc kDevicesCount{"DevicesCountFrame",
                                  "Сохранить количество устройств в переменной:"_w1251};
constexpr FieldDesc kPCMFormats{"PCMFormatsFrame",
                                "Сохранить в массиве на основе переменной:"_w1251};
constexpr FieldDesc kPCMFormatsCount{"PCMFormatsCountFrame",
                                     "Сохранить количество форматов в переменной:"_w1251};
constexpr FieldDesc kErrorVar{"ErrorVarFrame", "Сохранить ошибку в переменной:"_w1251};
constexpr FieldDesc kLevelVar{"LevelVarFrame", "Пиковый уровень громкости (в %):"_w1251};
constexpr FieldDesc kPositionVar{"PositionVarFrame", "Позиция воспроизведения:"_w1251};
constexpr FieldDesc kOutputDeviceVar{"OutputDeviceVarFrame",
                                     "Сохранить имя устройства воспроизведения в:"_w1251};
constexpr FieldDesc kInputDeviceVar{"InputDeviceVarFrame",
                                    "Сохранить имя устройства записи в:"_w1251};
constexpr FieldDesc kWaveLengthVar{"WaveLengthVarFrame",
                                   "Сохранить время звучания файла в переменной:"_w1251};

constexpr FieldDesc kInWave{"InWaveFrame", "Имя звукового файла:"_w1251, FrameKind::Text,
                            FilesTag::OpenFile};
constexpr FieldDesc kOutWave{"OutWaveFrame", "Имя конечного звукового файла:"_w1251,
                             FrameKind::Text, FilesTag::SaveFile};
constexpr FieldDesc kFirstWave{"FirstWaveFrame", "Первый звуковой файл:"_w1251, FrameKind::Text,
                               FilesTag::OpenFile};
constexpr FieldDesc kSecondWave{"SecondWaveFrame", "Второй звуковой файл:"_w1251, FrameKind::Text,
                                FilesTag::OpenFile};
constexpr FieldDesc kGap{"GapFrame", "Тишина между файлами в миллисекундах:"_w1251};
constexpr FieldDesc kPos{"PosFrame", "Начальная позиция в миллисекундах:"_w1251};
constexpr FieldDesc kLength{"LengthFrame", "Общая длина в миллисекундах:"_w1251};
constexpr FieldDesc kVolume{"VolumeFrame", "Громкость в процентах:"_w1251};
constexpr FieldDesc kFormat{"FormatFrame", "PCM формат записи:"_w1251};

constexpr FieldDesc WithFiles(FieldDesc field, FilesTag files) {
    field.files = files;
    return field;
}
constexpr FieldDesc WithLabel(FieldDesc field, const char* label) {
    field.label = label;
    return field;
}

// The result field of the two create dialogs receives the new object's number.
constexpr FieldDesc kNewIDVar =
    WithLabel(kResultVar, "Сохранить идентификатор в переменной:"_w1251);
constexpr FieldDesc kPlayPath = WithFiles(kWavePath, FilesTag::OpenFile);
constexpr FieldDesc kRecordPath = WithFiles(kWavePath, FilesTag::SaveFile);

// --- descriptions -------------------------------------------------------------------

// The second lines of the descriptions, after a line break.
// clang-format off
#define SEE_HELP \
    "\r\nПри успешном выполнении возвращает в переменную True, в противном случае False. " \
    "См. Справку."
// clang-format on
#define TRUE_OR_FALSE                                                                              \
    "\r\nПри успешном выполнении возвращает в переменную True, в противном случае False."
#define ERROR_TEXT "\r\nПеременная будет содержать текст ошибки. См. справку."

constexpr const char* kCaptionSuffix = " свойства"_w1251;

// --- layout families --------------------------------------------------------------

// The player, recorder and file dialogs: object number fields are 362 wide,
// file name fields 361, the others 353; edit boxes 261.
// The event dialogs: every field 362 wide; edit boxes 295 for the object number
// and the result variable, 304 for the others.
enum class Family { Plain, Event };

constexpr FramePlacement Place(const FieldDesc& field, Family family) {
    FramePlacement frame{field};
    if (family == Family::Event) {
        frame.width = 362;
        frame.editWidth = field.role == FieldRole::Value ? 304 : 295;
    } else {
        frame.width = field.role == FieldRole::ObjectId ? 362
                      : field.files != FilesTag::None   ? 361
                                                        : 353;
        frame.editWidth = 261;
    }
    return frame;
}

// The frames stack from y = 7 at 63-pixel intervals, 62 where the last one
// would otherwise come closer than 2 pixels to the title tab.

constexpr DialogDesc Dialog(int32_t id, int16_t height, Family family, const char* description,
                            std::initializer_list<FieldDesc> fields) {
    DialogDesc desc;
    desc.actionId = id;
    desc.clientHeight = height;
    desc.captionSuffix = kCaptionSuffix;
    desc.description = description;
    for (const FieldDesc& field : fields)
        desc.frames[desc.frameCount++] = Place(field, family);
    const int last = static_cast<int>(desc.frameCount) - 1;
    const int step = 7 + last * 63 + kFrameHeight + 2 <= TitleTabTop(height) ? 63 : 62;
    for (std::size_t i = 0; i < desc.frameCount; ++i)
        desc.frames[i].top = static_cast<int16_t>(7 + static_cast<int>(i) * step);
    for (std::size_t i = 0; i < desc.frameCount; ++i)
        desc.tabOrder[i] = static_cast<int8_t>(i);
    desc.tabOrder[desc.frameCount] = kButtonsTabStop;
    desc.tabStopCount = desc.frameCount + 1;
    return desc;
}

constexpr DialogDesc WithTops(DialogDesc desc, std::initializer_list<int16_t> tops) {
    std::size_t i = 0;
    for (const int16_t top : tops)
        desc.frames[i++].top = top;
    return desc;
}

constexpr DialogDesc WithTitleWidth(DialogDesc desc, int16_t width) {
    desc.titleWidth = width;
    return desc;
}

constexpr DialogDesc WithFrameWidths(DialogDesc desc, int16_t width) {
    for (std::size_t i = 0; i < desc.frameCount; ++i)
        desc.frames[i].width = width;
    return desc;
}

constexpr DialogDesc WithTabOrder(DialogDesc desc, std::initializer_list<int8_t> order) {
    desc.tabStopCount = 0;
    for (const int8_t stop : order)
        desc.tabOrder[desc.tabStopCount++] = stop;
    return desc;
}

constexpr DialogDesc WithCaptionSuffix(DialogDesc desc, const char* suffix) {
    desc.captionSuffix = suffix;
    return desc;
}

constexpr DialogDesc WithFrameLeft(DialogDesc desc, std::size_t frame, int16_t left) {
    desc.frames[frame].left = left;
    return desc;
}

// The dialogs of the actions on one object: its number and the result variable.
constexpr DialogDesc ObjectDialog(int32_t id, int16_t height, const char* description) {
    return Dialog(id, height, Family::Plain, description, {kObjectID, kResultVar});
}

// Every event dialog has the same shape: object number, subroutine, variable
// for the object number, a variable for the event's datum, result variable.
constexpr DialogDesc EventDialog(int32_t id, int16_t height, const char* description,
                                 const FieldDesc& datum) {
    return Dialog(id, height, Family::Event, description,
                  {kObjectID, kSubroutine, kObjectIDVar, datum, kResultVar});
}

constexpr Family P = Family::Plain;
constexpr Family E = Family::Event;

// --- the dialogs ------------------------------------------------------------------

constexpr DialogDesc kDialogs[] = {
    Dialog(aiPlayerCreate, 220, P,
           "Создать систему воспроизведения WAV файлов и сохранить идентификатор в переменной "
           "который будет использоваться с другими командами плагина."_w1251,
           {kNewIDVar}),
    ObjectDialog(aiPlayerDestroy, 282,
                 "Удалить ранее созданную систему воспроизведения WAV файлов."_w1251 TRUE_OR_FALSE),
    Dialog(aiOutputDevices, 282, P,
           "Получить все доступные устройства воспроизведения звука и сохранить в массиве "
           "переменных. "_w1251,
           {kDevices, kDevicesCount}),
    WithTitleWidth(Dialog(aiPlayerStart, 407, P,
                          "Начать воспроизведение звукового файла."_w1251 SEE_HELP,
                          {kObjectID, kPlayPath, kOutputDevice, kResultVar}),
                   137),
    ObjectDialog(aiPlayerStop, 283, "Остановить воспроизведение звукового файла."_w1251 SEE_HELP),
    ObjectDialog(aiPlayerPause, 284,
                 "Приостановить воспроизведение звукового файла. Сделать паузу."_w1251 SEE_HELP),
    ObjectDialog(aiPlayerResume, 284,
                 "Возобновить воспроизведение звукового файла."_w1251 SEE_HELP),
    Dialog(
        aiPlayerPosition, 342, P,
        "Установить позицию воспроизведения звукового файла в миллисекундах."_w1251 TRUE_OR_FALSE,
        {kObjectID, kPosition, kResultVar}),
    ObjectDialog(aiPlayerIsActive, 287,
                 "Определить запущена ли в данный момент система воспроизведения."_w1251 SEE_HELP),
    ObjectDialog(
        aiPlayerIsPaused, 282,
        "Определить приостановлена ли в данный момент система воспроизведения."_w1251 SEE_HELP),
    EventDialog(aiOnPlayerError, 472,
                "Установить подпрограмму которая будет выполнена когда произойдет ошибка "
                "воспроизведения."_w1251 ERROR_TEXT,
                kErrorVar),
    WithTops(EventDialog(aiOnPlayerLevel, 466,
                         "Установить подпрограмму которая будет выполнена при изменении пикового "
                         "уровня громкости в процентах."_w1251 TRUE_OR_FALSE,
                         kLevelVar),
             {8, 72, 134, 196, 259}),
    EventDialog(aiOnPlayerPause, 475,
                "Установить подпрограмму которая будет выполнена когда проигрыватель "
                "приостановлен."_w1251 TRUE_OR_FALSE,
                kOutputDeviceVar),
    EventDialog(aiOnPlayerResume, 472,
                "Установить подпрограмму которая будет выполнена когда проигрыватель возобновит "
                "воспроизведение файла."_w1251 TRUE_OR_FALSE,
                kOutputDeviceVar),
    EventDialog(aiOnPlayerPosition, 471,
                "Установить подпрограмму которая будет выполнена при изменении позиции "
                "воспроизведения файла в миллисекундах."_w1251 TRUE_OR_FALSE,
                kPositionVar),
    // The variable for the object number comes last in the tab order here.
    WithCaptionSuffix(
        WithTabOrder(Dialog(aiOnPlayerActivate, 536, E,
                            "Установить подпрограмму которая будет выполнена когда проигрыватель "
                            "начнет воспроизведение файла."_w1251 TRUE_OR_FALSE,
                            {kObjectID, kSubroutine, kObjectIDVar, kOutputDeviceVar, kWaveLengthVar,
                             kResultVar}),
                     {0, 1, 3, 4, 5, kButtonsTabStop, 2}),
        " Свойства"_w1251),
    EventDialog(aiOnPlayerDeactivate, 465,
                "Установить подпрограмму которая будет выполнена когда проигрыватель закончит "
                "воспроизведение файла."_w1251 TRUE_OR_FALSE,
                kOutputDeviceVar),
    Dialog(aiRecordCreate, 221, P,
           "Создать систему записи WAV файлов и сохранить идентификатор в переменной который "
           "будет использоваться с другими командами плагина."_w1251,
           {kNewIDVar}),
    ObjectDialog(aiRecordDestroy, 284,
                 "Удалить ранее созданную систему записи WAV файлов."_w1251 TRUE_OR_FALSE),
    Dialog(aiInputDevices, 280, P,
           "Получить все доступные устройства записи звука и сохранить в массиве переменных."_w1251,
           {kDevices, kDevicesCount}),
    // "РСМ" in Cyrillic letters, as the text has always read.
    Dialog(aiPCMFormats, 468, P,
           "Получить все поддерживаемые РСМ форматы устройством записи и сохранить в массиве "
           "переменных."_w1251 TRUE_OR_FALSE,
           {kObjectID, kInputDevice, kPCMFormats, kPCMFormatsCount, kResultVar}),
    WithTitleWidth(Dialog(aiRecordStart, 470, P,
                          "Начать запись звукового файла."_w1251 TRUE_OR_FALSE,
                          {kObjectID, kRecordPath, kInputDevice, kPCMFormat, kResultVar}),
                   142),
    ObjectDialog(aiRecordStop, 285, "Остановить запись звукового файла."_w1251 TRUE_OR_FALSE),
    ObjectDialog(aiRecordPause, 285,
                 "Приостановить запись звукового файла. Сделать паузу."_w1251 TRUE_OR_FALSE),
    ObjectDialog(aiRecordResume, 286, "Возобновить запись звукового файла."_w1251 TRUE_OR_FALSE),
    ObjectDialog(aiRecordIsActive, 283,
                 "Определить запущена ли в данный момент система записи."_w1251 TRUE_OR_FALSE),
    ObjectDialog(
        aiRecordIsPaused, 284,
        "Определить приостановлена ли в данный момент система записи."_w1251 TRUE_OR_FALSE),
    EventDialog(aiOnRecordError, 471,
                "Установить подпрограмму которая будет выполнена когда произойдет ошибка "
                "записи."_w1251 ERROR_TEXT,
                kErrorVar),
    EventDialog(aiOnRecordLevel, 471,
                "Установить подпрограмму которая будет выполнена при изменении записи пикового "
                "уровня громкости в процентах."_w1251 TRUE_OR_FALSE,
                kLevelVar),
    EventDialog(aiOnRecordPause, 474,
                "Установить подпрограмму которая будет выполнена когда запись "
                "приостановлена."_w1251 TRUE_OR_FALSE,
                kInputDeviceVar),
    EventDialog(aiOnRecordResume, 474,
                "Установить подпрограмму которая будет выполнена когда запись файла "
                "возобновится."_w1251 TRUE_OR_FALSE,
                kInputDeviceVar),
    EventDialog(
        aiOnRecordPosition, 474,
        "Установить подпрограмму которая будет выполнена при изменении позиции записи файла "
        "в миллисекундах."_w1251 TRUE_OR_FALSE,
        kPositionVar),
    EventDialog(aiOnRecordActivate, 470,
                "Установить подпрограмму которая будет выполнена когда начнется запись "
                "файла."_w1251 TRUE_OR_FALSE,
                kInputDeviceVar),
    EventDialog(aiOnRecordDeactivate, 468,
                "Установить подпрограмму которая будет выполнена когда закончится запись "
                "файла."_w1251 TRUE_OR_FALSE,
                kInputDeviceVar),

    Dialog(
        aiSub, 470, P,
        "Сохранить часть звукового файла по указанным позициям в миллисекундах."_w1251 TRUE_OR_FALSE,
        {kInWave, kOutWave, kPos, kLength, kResultVar}),
    // The information action only reads the file, yet offers the save dialog.
    Dialog(aiInfo, 281, P,
           "Получить информацию о WAV файле и сохранить в массиве переменных. См. справку."_w1251,
           {kRecordPath, WithLabel(kResultVar, "Сохранить в массиве на основе переменной:"_w1251)}),
    // The output file is the fourth parameter here, after the gap.
    WithFrameWidths(
        WithTops(Dialog(aiConcat, 488, P,
                        "Объединить два звуковых файла одинакового формата."_w1251 SEE_HELP,
                        {kFirstWave, kSecondWave, kGap, kOutWave, kResultVar}),
                 {8, 71, 134, 198, 262}),
        361),
    Dialog(aiInvert, 349, P,
           "Изменить звучание WAV файла ( только формат PCM )."_w1251 TRUE_OR_FALSE,
           {kInWave, kOutWave, kResultVar}),
    Dialog(
        aiDelete, 467, P,
        "Удалить часть звукового файла по указанным позициям в миллисекундах."_w1251 TRUE_OR_FALSE,
        {kInWave, kOutWave, kPos, kLength, kResultVar}),
    Dialog(aiTrimStart, 403, P, "Удалить часть звукового файла с начала."_w1251 TRUE_OR_FALSE,
           {kInWave, kOutWave, kLength, kResultVar}),
    Dialog(aiTrimEnd, 402, P, "Удалить часть звукового файла с конца."_w1251 TRUE_OR_FALSE,
           {kInWave, kOutWave, kLength, kResultVar}),
    Dialog(aiChangeVolume, 405, P,
           "Изменить громкость звучания в процентах (только формат PCM)."_w1251 TRUE_OR_FALSE,
           {kInWave, kOutWave, kVolume, kResultVar}),
    WithFrameLeft(WithTitleWidth(WithTops(Dialog(aiInsertSilence, 468, P,
                                                 "Вставить тишину в звуковой файл по указанным "
                                                 "позициям в миллисекундах (только формат "
                                                 "PCM)."_w1251 TRUE_OR_FALSE,
                                                 {kInWave, kOutWave, kPos, kLength, kResultVar}),
                                          {8, 71, 134, 197, 259}),
                                 153),
                  1, 9),
    Dialog(aiConvertToPCM, 415, P,
           "Конвертировать звуковой файл в указанный формат PCM."_w1251 SEE_HELP,
           {kInWave, kOutWave, kFormat, kResultVar}),
};

#undef SEE_HELP
#undef TRUE_OR_FALSE
#undef ERROR_TEXT

} // namespace

const DialogDesc* FindDialog(int32_t actionId) {
    for (const DialogDesc& desc : kDialogs)
        if (desc.actionId == actionId)
            return &desc;
    return nullptr;
}
