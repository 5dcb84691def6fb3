; duVoza-setup.exe: installs the plug-in Tonvald.nbp and its help file
; Tonvald.chm into NeoBook's plug-in folder, and records the help file's path
; where the plug-in looks for it (HKCU, value "HelpFile").
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.4 -DSTAGE=<folder holding Tonvald.nbp
;            and Tonvald.chm> -DOUTFILE=<path of duVoza-setup.exe> duVoza.nsi
;
; Silent use: duVoza-setup.exe /S [/D=folder] installs (into the folder given,
; else the one remembered from the last installation, else the default);
; duVoza-uninstall.exe /S removes what the installer put there.
;
; The uninstaller removes the two files, itself, the "HelpFile" value (and the
; keys that held it, once they are empty) and the entry in the list of
; installed programs, and nothing else: the folder stays (it is NeoBook's),
; and a value or entry that by now belongs to another installation of the
; plug-in (in another folder) is left alone.

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE"
!endif

!define TITLE "duVoza"
!define MAKER "Marek Halvorsen"
!define HELP_KEY "Software\Halden Morrow\Kestrava\${TITLE}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${TITLE}"
!define UNINSTALLER "duVoza-uninstall.exe"

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
; NeoBook is a 32-bit program: $PROGRAMFILES is the 32-bit Program Files.
InstallDir "$PROGRAMFILES\NeoBook 5\PlugIns"
; An update goes where the last installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
; NeoBook's plug-in folder normally lies under Program Files.
RequestExecutionLevel admin
BrandingText "${TITLE} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${TITLE} ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "© ${MAKER}"

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(FolderText)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(FolderLabel)"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Tonvald.chm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(OpenHelpText)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for systems that speak neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString WelcomeText ${LANG_ENGLISH} "This wizard installs ${TITLE} ${VERSION}, the NeoBook plug-in that plays, records and edits WAVE files, and its help file.$\r$\n$\r$\nClose NeoBook before you go on.$\r$\n$\r$\n$_CLICK"
LangString WelcomeText ${LANG_RUSSIAN} "Мастер установит ${TITLE} ${VERSION} — модуль NeoBook для воспроизведения, записи и редактирования WAV файлов — и его справку.$\r$\n$\r$\nПрежде чем продолжить, закройте NeoBook.$\r$\n$\r$\n$_CLICK"
LangString FolderText ${LANG_ENGLISH} "Choose NeoBook's plug-in folder (PlugIns in the folder NeoBook is installed in). Tonvald.nbp and its help file Tonvald.chm go there; NeoBook lists the duVoza actions after its next start."
LangString FolderText ${LANG_RUSSIAN} "Укажите папку модулей NeoBook (PlugIns в папке, куда установлен NeoBook). В неё будут записаны модуль Tonvald.nbp и его справка Tonvald.chm; действия duVoza появятся в NeoBook после его перезапуска."
LangString FolderLabel ${LANG_ENGLISH} "NeoBook plug-in folder"
LangString FolderLabel ${LANG_RUSSIAN} "Папка модулей NeoBook"
LangString FinishText ${LANG_ENGLISH} "${TITLE} ${VERSION} is installed. Start NeoBook: the duVoza actions are in its action list, and the Help button of each action's dialog opens its page of the help."
LangString FinishText ${LANG_RUSSIAN} "${TITLE} ${VERSION} установлен. Запустите NeoBook: действия duVoza есть в списке его действий, а кнопка «Справка» в окне каждого действия открывает его страницу справки."
LangString OpenHelpText ${LANG_ENGLISH} "Open the help"
LangString OpenHelpText ${LANG_RUSSIAN} "Открыть справку"
LangString SectionName ${LANG_ENGLISH} "Plug-in and help"
LangString SectionName ${LANG_RUSSIAN} "Модуль и справка"

Section "$(SectionName)"
    SetOutPath "$INSTDIR"
    File "${STAGE}/Tonvald.nbp"
    File "${STAGE}/Tonvald.chm"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    WriteRegStr HKCU "${HELP_KEY}" "HelpFile" "$INSTDIR\Tonvald.chm"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${TITLE} ${VERSION} (NeoBook plug-in)"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller itself goes last: once it is gone, everything is done.
Section "Uninstall"
    ReadRegStr $0 HKCU "${HELP_KEY}" "HelpFile"
    ${If} $0 == "$INSTDIR\Tonvald.chm"
        DeleteRegValue HKCU "${HELP_KEY}" "HelpFile"
        DeleteRegKey /ifempty HKCU "${HELP_KEY}"
        DeleteRegKey /ifempty HKCU "Software\Halden Morrow\Kestrava"
        DeleteRegKey /ifempty HKCU "Software\Halden Morrow"
    ${EndIf}
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == "$INSTDIR"
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}

    Delete "$INSTDIR\Tonvald.nbp"
    Delete "$INSTDIR\Tonvald.chm"
    Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd
