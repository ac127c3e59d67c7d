; Installer of tvdds. Built by CMake with makensis:
;   makensis -DARCH=x86|amd64 -DPROGRAM=tvdds.exe -DCHECK=tvdds-check.exe -DCATALOG=tvdds.mo
;            -DICON=AppIcon.ico -DVERSION=1.0.0 -DOUTFILE=setup.exe
;            [-DSIGN=sign.sh] tvdds.nsi
; With SIGN, the uninstaller and the installer are signed as they are made.
; Silent use: setup.exe /S [/D=C:\install dir]   (/D= comes last, unquoted)
; Exit codes: 0 installed and registered; 1603 installed, but the product
; could not be registered in vdds_mmi.ini; 740 not run as administrator;
; 1638 a newer version is installed, nothing changed; 1639 the installation
; directory's name cannot be written in the ANSI code page, nothing
; installed; 1627 an earlier
; installation in another directory or of the other build could not be
; removed, nothing installed.
; The uninstall, run as QuietUninstallString says, ends when it is done:
; 0 removed; 1603 removed, but the registration in vdds_mmi.ini could not be
; removed; 1627 the program is in use and stays, with its settings and
; uninstall entry. "/KEEPREGISTRATION" leaves the registration to the installation
; that replaces this one.

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
; No build dates in the installer: the same sources give the same bytes.
SetDateSave off

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include WordFunc.nsh
!include x64.nsh

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
LangString DIRECTORY_NOT_PROTECTED ${LANG_ENGLISH} "The rights of the installation directory $INSTDIR could not be set so that only administrators may change it. Nothing was installed."
LangString DIRECTORY_NOT_PROTECTED ${LANG_GERMAN} "Die Rechte des Installationsverzeichnisses $INSTDIR ließen sich nicht so setzen, dass nur Administratoren es ändern können. Es wurde nichts installiert."
LangString EARLIER_NOT_REMOVED ${LANG_ENGLISH} "The earlier installation in $1 could not be removed (its uninstaller ended with $2). Nothing was installed. Uninstall it, or remove what holds its files open, then install again."
LangString EARLIER_NOT_REMOVED ${LANG_GERMAN} "Die frühere Installation in $1 ließ sich nicht entfernen (ihr Deinstallationsprogramm endete mit $2). Es wurde nichts installiert. Deinstallieren Sie sie, oder beenden Sie, was ihre Dateien geöffnet hält, dann installieren Sie erneut."
LangString DIRECTORY_NOT_ANSI ${LANG_ENGLISH} "The installation directory $INSTDIR has characters that vdds_mmi.ini cannot hold in this system's character set, so practice software could not call Tivora there. Nothing was installed. Choose a directory whose name has none of them."
LangString DIRECTORY_NOT_ANSI ${LANG_GERMAN} "Das Installationsverzeichnis $INSTDIR enthält Zeichen, die vdds_mmi.ini im Zeichensatz dieses Systems nicht aufnehmen kann; die Praxissoftware könnte Tivora dort nicht aufrufen. Es wurde nichts installiert. Wählen Sie ein Verzeichnis, in dessen Namen keines davon vorkommt."
LangString NEWER_INSTALLED ${LANG_ENGLISH} "A newer version of Tivora ($0) is installed. Nothing was changed. To install this older version, uninstall the newer one first."
LangString NEWER_INSTALLED ${LANG_GERMAN} "Eine neuere Version von Tivora ($0) ist installiert. Es wurde nichts geändert. Um diese ältere Version zu installieren, deinstallieren Sie zuerst die neuere."
LangString NOT_REGISTERED ${LANG_GERMAN} "Tivora konnte nicht in vdds_mmi.ini eingetragen werden. Den Grund nennt die Meldung des Programms vor dieser. Eine erneute Installation versucht die Eintragung noch einmal."

; The registry view the program itself reads: the 64-bit view for the
; x86_64 build, the redirected 32-bit view for the 32-bit build.
!macro UseProgramRegistryView
  !if ${ARCH} == amd64
    SetRegView 64
  !else
    SetRegView 32
  !endif
!macroend

; The view where the other build (32-bit or x86_64) keeps its installation;
; only 64-bit Windows has two.
!macro UseOtherBuildRegistryView
  !if ${ARCH} == amd64
    SetRegView 32
  !else
    SetRegView 64
  !endif
!macroend

; An older version never replaces a newer one of either build, whatever the
; other view holds.
!macro RefuseDowngradeIn VIEW
  !insertmacro ${VIEW}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  !insertmacro UseProgramRegistryView
  ${If} $0 != ""
    ${VersionCompare} "$0" "${VERSION}" $1
    ${If} $1 == 1
      !insertmacro StopWith "$(NEWER_INSTALLED)" "a newer version ($0) is installed; nothing changed" 1638
    ${EndIf}
  ${EndIf}
!macroend

!macro RefuseDowngrade
  !insertmacro RefuseDowngradeIn UseProgramRegistryView
  ; The x86_64 build runs on 64-bit Windows only.
  !if ${ARCH} == amd64
    !insertmacro RefuseDowngradeIn UseOtherBuildRegistryView
  !else
    ${If} ${RunningX64}
      !insertmacro RefuseDowngradeIn UseOtherBuildRegistryView
    ${EndIf}
  !endif
!macroend

; The installation directory gets the rights Program Files has, whatever its
; parent and whoever created it: the owner is the Administrators group,
; SYSTEM and the administrators have full control, the users may read and
; run, and nothing is inherited, so that no user can replace a program that
; the installer, the uninstaller and every user run. An existing directory
; is changed too, and what it holds inherits the new rights.
; vdds_mmi.ini holds the program's path in the system's ANSI code page:
; a directory whose name it cannot hold (say "Łódź" under Windows-1252)
; could never be called, so it is refused before anything is installed.
!macro RequireAnsiInstallationDirectory
  ; WC_NO_BEST_FIT_CHARS: a character without its own code is not replaced
  ; by a look-alike either. UTF-8 holds every name.
  System::Call 'kernel32::GetACP() i .r2'
  StrCpy $0 1
  StrCpy $1 0
  ${If} $2 != 65001
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$INSTDIR", i -1, p 0, i 0, p 0, *i .r1) i .r0'
  ${EndIf}
  ${If} $0 == 0
  ${OrIf} $1 != 0
    !insertmacro StopWith "$(DIRECTORY_NOT_ANSI)" "$INSTDIR cannot be written in the system's ANSI code page; nothing installed" 1639
  ${EndIf}
!macroend

!macro ProtectInstallationDirectory
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", i 1, *p .r1, p 0) i .r0'
  ${If} $0 != 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
    System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r5, *i .r6) i .r0'
    ; OWNER, DACL and PROTECTED_DACL information.
    System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r5, p 0, p r3, p 0) i .r0'
    System::Call 'kernel32::LocalFree(p r1)'
  ${Else}
    StrCpy $0 "-1"
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "The rights of $INSTDIR could not be set ($0)"
    !insertmacro StopWith "$(DIRECTORY_NOT_PROTECTED)" "the rights of $INSTDIR could not be set ($0); nothing installed" 1603
  ${EndIf}
!macroend

; One installation at a time: an installation of this build in another
; directory, or of the other build anywhere, is removed by its own
; uninstaller. Its registration in vdds_mmi.ini stays (/KEEPREGISTRATION),
; so that this installation's pass corrects the product's own lines in place
; and every other vendor keeps its entry and number. Where the earlier
; installation's program is still there afterwards, whatever its uninstaller
; said, nothing is installed and its uninstaller stays. Only 64-bit Windows
; has the other build's view.
!macro RemoveInstallationIn VIEW SAME_VIEW
  !insertmacro ${VIEW}
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  !insertmacro UseProgramRegistryView
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$1\uninstall.exe"
    ${If} ${SAME_VIEW} == 0
    ${OrIf} $1 != $INSTDIR
      DetailPrint "Removing the installation in $1"
      ExecWait '"$1\uninstall.exe" /S /KEEPREGISTRATION _?=$1' $2
      DetailPrint "Its uninstaller ended with $2"
      !insertmacro Log "earlier installation in $1: its uninstaller ended with $2"
      ${If} ${FileExists} "$1\tvdds.exe"
        !insertmacro StopWith "$(EARLIER_NOT_REMOVED)" "the earlier installation in $1 is still there; nothing installed" 1627
      ${EndIf}
      ; Uninstallers that run in place leave themselves behind.
      Delete "$1\uninstall.exe"
      RMDir "$1"
    ${EndIf}
  ${EndIf}
!macroend

!macro RemoveOtherInstallations
  !insertmacro RemoveInstallationIn UseProgramRegistryView 1
  !if ${ARCH} == amd64
    !insertmacro RemoveInstallationIn UseOtherBuildRegistryView 0
  !else
    ${If} ${RunningX64}
      !insertmacro RemoveInstallationIn UseOtherBuildRegistryView 0
    ${EndIf}
  !endif
!macroend

; The log that deployment tools ask for with /LOG=path, or with the
; environment variable TVDDS_LOG (also for the quiet uninstall, whose command
; line is fixed): one UTF-8 line per step, appended. The program, which
; inherits the variable, writes its own reports there too.
Var LogFile
Var ExitCode

!macro DefineWriteLogLine PREFIX
Function ${PREFIX}WriteLogLine
  Exch $R9
  Push $R8
  Push $R7
  Push $R6
  ClearErrors
  FileOpen $R8 "$LogFile" a
  ${IfNot} ${Errors}
    FileSeek $R8 0 END
    StrCpy $R9 "$R9$\r$\n"
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w R9, i -1, p 0, i 0, p 0, p 0) i .R7'
    System::Alloc $R7
    Pop $R6
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w R9, i -1, p R6, i R7, p 0, p 0)'
    IntOp $R7 $R7 - 1
    System::Call 'kernel32::WriteFile(p R8, p R6, i R7, *i 0, p 0)'
    System::Free $R6
    FileClose $R8
  ${EndIf}
  Pop $R6
  Pop $R7
  Pop $R8
  Pop $R9
FunctionEnd

Function ${PREFIX}OpenLog
  ${${PREFIX}GetParameters} $R0
  ClearErrors
  ${${PREFIX}GetOptions} $R0 "/LOG=" $LogFile
  ${If} ${Errors}
    ReadEnvStr $LogFile TVDDS_LOG
  ${EndIf}
  ${If} $LogFile != ""
    System::Call 'kernel32::SetEnvironmentVariableW(w "TVDDS_LOG", w "$LogFile")'
  ${EndIf}
  StrCpy $ExitCode 0
FunctionEnd
!macroend
!insertmacro DefineWriteLogLine ""
!insertmacro DefineWriteLogLine "un."

!macro Log TEXT
  ${If} $LogFile != ""
    Push "${TEXT}"
    !ifdef __UNINSTALL__
      Call un.WriteLogLine
    !else
      Call WriteLogLine
    !endif
  ${EndIf}
!macroend

; The exit code the run ends with, in the log too.
!macro SetExitCode CODE
  StrCpy $ExitCode ${CODE}
  SetErrorLevel ${CODE}
!macroend

!macro LogExitCode
  !insertmacro Log "exit code $ExitCode"
!macroend

; Says `MESSAGE` in a box (nothing where the run is silent), logs `LOGGED`
; and ends the run with `CODE`.
!macro StopWith MESSAGE LOGGED CODE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  !insertmacro Log "${LOGGED}"
  !insertmacro SetExitCode ${CODE}
  !insertmacro LogExitCode
  Quit
!macroend

!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    !insertmacro StopWith "$(ADMIN_REQUIRED)" "not run as an administrator; nothing changed" 740
  ${EndIf}
!macroend

Function .onInit
  Call OpenLog
  !insertmacro Log "Tivora ${VERSION} (${ARCH}) setup started: $CMDLINE"
  !insertmacro RequireAdministrator
  !insertmacro UseProgramRegistryView
  SetShellVarContext all
  !insertmacro RefuseDowngrade
FunctionEnd

Function un.onInit
  Call un.OpenLog
  !insertmacro Log "Tivora ${VERSION} (${ARCH}) uninstall started: $CMDLINE"
  !insertmacro RequireAdministrator
  !insertmacro UseProgramRegistryView
  SetShellVarContext all
FunctionEnd

Section "Install"
  !insertmacro RequireAnsiInstallationDirectory
  !insertmacro RemoveOtherInstallations
  CreateDirectory "$INSTDIR"
  !insertmacro ProtectInstallationDirectory
  SetOutPath "$INSTDIR"
  File "/oname=tvdds.exe" "${PROGRAM}"
  File "/oname=tvdds-check.exe" "${CHECK}"
  SetOutPath "$INSTDIR\lang\de\LC_MESSAGES"
  File "/oname=tvdds.mo" "${CATALOG}"
  CreateDirectory "$APPDATA\Tivora\conf"

  !insertmacro Log "files written to $INSTDIR and $APPDATA\Tivora\conf"
  WriteRegStr HKLM "${CLIENT_KEY}" "BaseAppPath" "$INSTDIR"
  WriteRegStr HKLM "${CLIENT_KEY}" "BaseDataPath" "$APPDATA\Tivora"
  !insertmacro Log "registry values BaseAppPath=$INSTDIR, BaseDataPath=$APPDATA\Tivora"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Halvorin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\tvdds.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  ; Whoever runs the quiet uninstall waits for all of it and reads its real
  ; exit code: the uninstaller otherwise returns at once and goes on from a
  ; copy of itself. Here a copy outside the installation runs it in place
  ; ("_?="), so that it can remove the whole directory, and cmd waits for it.
  ; The copy has a name of its own each time, so that no earlier copy that
  ; is still in use or waits for its deletion at a restart stands in its way.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" \
    "$\"$SYSDIR\cmd.exe$\" /v:on /c $\"set u=%TEMP%\tvdds-uninstall-%RANDOM%.exe&& copy /y $\"$INSTDIR\uninstall.exe$\" $\"!u!$\" >nul && $\"!u!$\" /S _?=$INSTDIR$\""
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\tvdds.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

  ; The registration in vdds_mmi.ini runs on every install: it enters the
  ; product again when the file lost it, and changes nothing in the file
  ; while the product is there.
  WriteRegStr HKLM "${CLIENT_KEY}" "VddsIniWritten" "0"
  ; The program has said why in its own message (or in the event log); a
  ; deployment tool learns it from the exit code.
  !insertmacro Log "uninstall entry and event source written; running tvdds.exe initsetup"
  ClearErrors
  ExecWait '"$INSTDIR\tvdds.exe" initsetup' $0
  !insertmacro Log "tvdds.exe initsetup ended with $0"
  ${If} ${Errors}
  ${OrIf} $0 != "0"
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_REGISTERED)" /SD IDOK
    !insertmacro SetExitCode 1603
  ${EndIf}
  !insertmacro LogExitCode
SectionEnd

Section "Uninstall"
  ; The registration goes first, while the program is there to remove it,
  ; unless an installation that replaces this one takes it over. The program
  ; reports a failure itself (a box, or the event log where nobody can see
  ; one); files and settings go all the same.
  ${un.GetParameters} $1
  ClearErrors
  ${un.GetOptions} $1 "/KEEPREGISTRATION" $2
  ${If} ${Errors}
    ClearErrors
    ExecWait '"$INSTDIR\tvdds.exe" removesetup' $0
    !insertmacro Log "tvdds.exe removesetup ended with $0"
    ${If} ${Errors}
    ${OrIf} $0 != "0"
      !insertmacro SetExitCode 1603
    ${EndIf}
  ${Else}
    !insertmacro Log "the registration stays for the installation that replaces this one"
  ${EndIf}
  ; vdds_mmi.ini and its backups stay: other vendors are registered there too.
  Delete "$INSTDIR\tvdds.exe"
  Delete "$INSTDIR\tvdds-check.exe"
  Delete "$INSTDIR\lang\de\LC_MESSAGES\tvdds.mo"
  RMDir "$INSTDIR\lang\de\LC_MESSAGES"
  RMDir "$INSTDIR\lang\de"
  RMDir "$INSTDIR\lang"
  ; A program another process holds open stays, and so do the uninstaller,
  ; the settings and the uninstall entry that let it be removed later.
  ${If} ${FileExists} "$INSTDIR\tvdds.exe"
    DetailPrint "$INSTDIR\tvdds.exe is in use and stays"
    !insertmacro Log "$INSTDIR\tvdds.exe is in use and stays, with the uninstaller and the settings"
    !insertmacro SetExitCode 1627
    !insertmacro LogExitCode
    Return
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; A copy of the uninstaller outside the installation goes at the next
  ; restart; one that ran in place stays for whoever started it.
  ${If} $EXEDIR != $INSTDIR
    Delete /REBOOTOK "$EXEPATH"
  ${EndIf}
  DeleteRegKey HKLM "${CLIENT_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Halvorin"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  !insertmacro Log "files removed from $INSTDIR; registry values and uninstall entry removed"
  !insertmacro LogExitCode
SectionEnd
