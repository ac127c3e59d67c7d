; Installer of tvdds. Built by CMake with makensis:
;   makensis -DARCH=x86|amd64 -DPROGRAM=tvdds.exe -DCHECK=tvdds-check.exe -DCATALOG=tvdds.mo
;            -DICON=AppIcon.ico -DVERSION=1.0.0 -DOUTFILE=setup.exe
;            [-DSIGN=sign.sh] tvdds.nsi
; With SIGN, the uninstaller and the installer are signed as they are made.
; Silent use: setup.exe /S [/D=C:\install dir]   (/D= comes last, unquoted)
; Exit codes: 0 installed and registered; 1603 installed, but the product
; could not be registered in vdds_mmi.ini; 740 not run as administrator.

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
; No build dates in the installer: the same sources give the same bytes.
SetDateSave off

!include LogicLib.nsh
!include MUI2.nsh

!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

!define PRODUCT "Tivora VDDS starter"
!define CLIENT_KEY "SOFTWARE\Halvorin\TivoraClient"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TivoraVdds"
; The program's source in the Application event log, where it reports when
; nobody could see a message box (session 0, unattended installs).
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Tvdds"

Name "${PRODUCT}"
OutFile "${OUTFILE}"

; What Explorer shows under Properties, Details of the installer.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tivora"
VIAddVersionKey /LANG=1033 "CompanyName" "Halvorin"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) Halvorin"
RequestExecutionLevel admin
!if ${ARCH} == amd64
  InstallDir "$PROGRAMFILES64\Tivora"
!else
  InstallDir "$PROGRAMFILES\Tivora"
!endif
ShowInstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; German for German users, English for everyone else: the first language is
; the one used when the user's is not among them.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

LangString ADMIN_REQUIRED ${LANG_ENGLISH} "Administrator rights are required."
LangString ADMIN_REQUIRED ${LANG_GERMAN} "Administratorrechte sind erforderlich."
LangString NOT_REGISTERED ${LANG_ENGLISH} "Tivora could not be registered in vdds_mmi.ini. The reason is in the program's message before this one. Installing again tries the registration again."
LangString NOT_REGISTERED ${LANG_GERMAN} "Tivora konnte nicht in vdds_mmi.ini eingetragen werden. Den Grund nennt die Meldung des Programms vor dieser. Eine erneute Installation versucht die Eintragung noch einmal."

; The registry view the program itself reads: the 64-bit view for the
; x86_64 build, the redirected 32-bit view for the 32-bit build.
!macro UseProgramRegistryView
  !if ${ARCH} == amd64
    SetRegView 64
  !endif
!macroend

!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "$(ADMIN_REQUIRED)" /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdministrator
  !insertmacro UseProgramRegistryView
  SetShellVarContext all
FunctionEnd

Function un.onInit
  !insertmacro RequireAdministrator
  !insertmacro UseProgramRegistryView
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=tvdds.exe" "${PROGRAM}"
  File "/oname=tvdds-check.exe" "${CHECK}"
  SetOutPath "$INSTDIR\lang\de\LC_MESSAGES"
  File "/oname=tvdds.mo" "${CATALOG}"
  CreateDirectory "$APPDATA\Tivora\conf"

  WriteRegStr HKLM "${CLIENT_KEY}" "BaseAppPath" "$INSTDIR"
  WriteRegStr HKLM "${CLIENT_KEY}" "BaseDataPath" "$APPDATA\Tivora"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Halvorin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\tvdds.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\tvdds.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

  ; The registration in vdds_mmi.ini runs on every install: it enters the
  ; product again when the file lost it, and changes nothing in the file
  ; while the product is there.
  WriteRegStr HKLM "${CLIENT_KEY}" "VddsIniWritten" "0"
  ; The program has said why in its own message (or in the event log); a
  ; deployment tool learns it from the exit code.
  ClearErrors
  ExecWait '"$INSTDIR\tvdds.exe" initsetup' $0
  ${If} ${Errors}
  ${OrIf} $0 != "0"
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_REGISTERED)" /SD IDOK
    SetErrorLevel 1603
  ${EndIf}
SectionEnd

Section "Uninstall"
  ; vdds_mmi.ini and its backups stay: other vendors are registered there too.
  Delete "$INSTDIR\tvdds.exe"
  Delete "$INSTDIR\tvdds-check.exe"
  Delete "$INSTDIR\lang\de\LC_MESSAGES\tvdds.mo"
  RMDir "$INSTDIR\lang\de\LC_MESSAGES"
  RMDir "$INSTDIR\lang\de"
  RMDir "$INSTDIR\lang"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${CLIENT_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Halvorin"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
SectionEnd
