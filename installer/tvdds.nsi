; Installer of tvdds. Built by CMake with makensis:
;   makensis -DARCH=x86|amd64 -DPROGRAM=tvdds.exe -DCHECK=tvdds-check.exe -DCATALOG=tvdds.mo
;            -DICON=AppIcon.ico -DVERSION=1.0.0 -DOUTFILE=setup.exe
;            -DPLUGINS=dir [-DSIGN=sign.sh] tvdds.nsi
; PLUGINS holds tvddstrust.dll for ARCH, which makes every decision about
; trust (whose files may be run, what a directory may hold, the rights of
; the installation, whether the program can be removed); this script only
; sequences the steps, messages, log lines and exit codes.
; With SIGN, the uninstaller and the installer are signed as they are made.
; Silent use: setup.exe /S [/D=C:\install dir]   (/D= comes last, unquoted)
; Exit codes: 0 installed and registered; 1603 not registered: installed,
; but the registration in vdds_mmi.ini failed, or the files could not be
; written or given their rights, or the installation directory's rights
; could not be set (the message and the log say which, and what stays);
; 740 not run as administrator; 1638 a newer version is installed, nothing
; changed; 1639 the installation directory's name cannot be written in the
; ANSI code page, nothing installed; 1627 an earlier installation in another
; directory or of the other build could not be removed, or others could have
; changed it, or it lacks its program or uninstaller, nothing installed; 1625 others own or may change the
; installation directory, a directory above it or an entry in it that the
; installer does not write anew, a link is on the way, or its tree is too
; deep, nothing installed.
; The uninstall, run as QuietUninstallString or UninstallString (also with
; " /S" appended) says, ends when it is done: 0 removed; 1603 not removed:
; the registration in vdds_mmi.ini could not be removed, or whether the
; program is in use could not be found out, nothing else changed; or
; removed, but for a file something holds open or, where the program was
; missing, the registration in vdds_mmi.ini (the message and the log say
; which); 1627 the
; program is in use, and the installation stays (registered again, unless
; the message and the log say otherwise), or others could have changed the
; installation, whose program is then not run, nothing changed; 1605 no
; installation of ours in that directory, nothing changed. "/KEEPREGISTRATION" leaves the
; registration to the installation that replaces this one.

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
; No build dates in the installer: the same sources give the same bytes.
SetDateSave off
; A file that cannot be written ends the install (.onInstFailed), also where
; it is silent, instead of being skipped.
AllowSkipFiles off

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include WordFunc.nsh
!include x64.nsh

!addplugindir /${ARCH}-unicode "${PLUGINS}"

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

; For the messages of an install that stops after it removed an earlier
; installation: which one, and what vdds_mmi.ini still calls.
Var Removed
; For the message of an uninstall that could not remove a file: which one.
Var Left

LangString ADMIN_REQUIRED ${LANG_ENGLISH} "Administrator rights are required."
LangString ADMIN_REQUIRED ${LANG_GERMAN} "Administratorrechte sind erforderlich."
LangString NOT_REGISTERED ${LANG_ENGLISH} "Tivora could not be registered in vdds_mmi.ini. The reason is in the program's message before this one. Installing again tries the registration again.$Removed"
LangString DIRECTORY_NOT_PROTECTED ${LANG_ENGLISH} "The rights of the installation directory $INSTDIR could not be set so that only administrators may change it. Nothing was installed."
LangString DIRECTORY_NOT_PROTECTED ${LANG_GERMAN} "Die Rechte des Installationsverzeichnisses $INSTDIR ließen sich nicht so setzen, dass nur Administratoren es ändern können. Es wurde nichts installiert."
LangString EARLIER_NOT_REMOVED ${LANG_ENGLISH} "The earlier installation in $1 could not be removed (its uninstaller ended with $2). Nothing was installed.$Removed Uninstall it, or remove what holds its files open, then install again."
LangString EARLIER_NOT_REMOVED ${LANG_GERMAN} "Die frühere Installation in $1 ließ sich nicht entfernen (ihr Deinstallationsprogramm endete mit $2). Es wurde nichts installiert.$Removed Deinstallieren Sie sie, oder beenden Sie, was ihre Dateien geöffnet hält, dann installieren Sie erneut."
LangString EARLIER_NOT_PROTECTED ${LANG_ENGLISH} "The earlier installation in $1 could have been changed by users other than administrators ($4), so its uninstaller is not run. Nothing was installed.$Removed Remove the extra rights, or the installation by hand, then install again."
LangString EARLIER_NOT_PROTECTED ${LANG_GERMAN} "Die frühere Installation in $1 könnten auch andere Benutzer als Administratoren geändert haben ($4); ihr Deinstallationsprogramm wird daher nicht ausgeführt. Es wurde nichts installiert.$Removed Entfernen Sie die zusätzlichen Rechte oder die Installation von Hand, dann installieren Sie erneut."
LangString EARLIER_REMOVED ${LANG_ENGLISH} " The earlier installation in $1 was removed; until Tivora is registered again, vdds_mmi.ini still calls its program $1\tvdds.exe."
LangString EARLIER_REMOVED ${LANG_GERMAN} " Die frühere Installation in $1 wurde entfernt; bis Tivora wieder eingetragen ist, ruft vdds_mmi.ini weiter ihr Programm $1\tvdds.exe auf."
LangString DIRECTORY_ABOVE_CHANGEABLE ${LANG_ENGLISH} "Users other than administrators may rename, delete or change the rights of $1, which holds the installation directory $INSTDIR, and could put another program in its place. Nothing was installed. Choose a directory below Program Files."
LangString DIRECTORY_ABOVE_CHANGEABLE ${LANG_GERMAN} "Andere Benutzer als Administratoren dürfen $1, das das Installationsverzeichnis $INSTDIR enthält, umbenennen, löschen oder seine Rechte ändern und so ein anderes Programm an seine Stelle setzen. Es wurde nichts installiert. Wählen Sie ein Verzeichnis unterhalb von Programme (Program Files)."
LangString DIRECTORY_HOLDS_LINK ${LANG_ENGLISH} "$1 is a link, a junction or a file with a second name, on the way to or inside the installation directory $INSTDIR. Nothing was installed. Remove it, or choose a new directory below Program Files."
LangString DIRECTORY_HOLDS_LINK ${LANG_GERMAN} "$1 ist eine Verknüpfung, ein Verzeichnisverbindungspunkt oder eine Datei mit einem zweiten Namen, auf dem Weg zum oder im Installationsverzeichnis $INSTDIR. Es wurde nichts installiert. Entfernen Sie es, oder wählen Sie ein neues Verzeichnis unterhalb von Programme (Program Files)."
LangString DIRECTORY_HOLDS_FOREIGN ${LANG_ENGLISH} "The installation directory $INSTDIR holds $1, which users other than administrators may change and which the installer does not write anew. The installer runs programs there with administrator rights. Nothing was installed. Remove it, or choose a new directory below Program Files."
LangString DIRECTORY_HOLDS_FOREIGN ${LANG_GERMAN} "Das Installationsverzeichnis $INSTDIR enthält $1, das auch andere Benutzer als Administratoren ändern dürfen und das das Installationsprogramm nicht neu schreibt. Das Installationsprogramm führt dort Programme mit Administratorrechten aus. Es wurde nichts installiert. Entfernen Sie es, oder wählen Sie ein neues Verzeichnis unterhalb von Programme (Program Files)."
LangString DIRECTORY_NOT_OURS ${LANG_ENGLISH} "The installation directory $INSTDIR belongs to a user other than an administrator, or others may change its rights or write into it, and could still do so after the installer set its own rights. Nothing was installed. Choose a new directory below Program Files, or have an administrator create this one."
LangString DIRECTORY_NOT_OURS ${LANG_GERMAN} "Das Installationsverzeichnis $INSTDIR gehört einem anderen Benutzer als einem Administrator, oder andere dürfen seine Rechte ändern oder darin schreiben und könnten das auch dann noch, nachdem das Installationsprogramm seine eigenen Rechte gesetzt hat. Es wurde nichts installiert. Wählen Sie ein neues Verzeichnis unterhalb von Programme (Program Files), oder lassen Sie dieses von einem Administrator anlegen."
LangString DIRECTORY_TOO_DEEP ${LANG_ENGLISH} "The installation directory $INSTDIR holds $1, deeper below it than the installer looks. Nothing was installed. Remove it, or choose a new directory below Program Files."
LangString DIRECTORY_TOO_DEEP ${LANG_GERMAN} "Das Installationsverzeichnis $INSTDIR enthält $1, tiefer darin, als das Installationsprogramm nachsieht. Es wurde nichts installiert. Entfernen Sie es, oder wählen Sie ein neues Verzeichnis unterhalb von Programme (Program Files)."
LangString FILES_NOT_PROTECTED ${LANG_ENGLISH} "$1 could not be replaced by a new file, or could not get rights that only administrators may change. Tivora is not installed completely in $INSTDIR and was not registered there.$Removed Close what holds it open, then install again."
LangString FILES_NOT_PROTECTED ${LANG_GERMAN} "$1 ließ sich nicht durch eine neue Datei ersetzen oder nicht mit Rechten versehen, die nur Administratoren ändern können. Tivora ist in $INSTDIR nicht vollständig installiert und dort nicht eingetragen.$Removed Beenden Sie, was die Datei geöffnet hält, dann installieren Sie erneut."
LangString FILES_NOT_REPLACED ${LANG_ENGLISH} "$1 could not be replaced by a new file, or could not get rights that only administrators may change. The installation of Tivora in $INSTDIR is not complete, and vdds_mmi.ini still calls its program $INSTDIR\tvdds.exe, which may be missing now.$Removed Close what holds the file open, then install again."
LangString FILES_NOT_REPLACED ${LANG_GERMAN} "$1 ließ sich nicht durch eine neue Datei ersetzen oder nicht mit Rechten versehen, die nur Administratoren ändern können. Die Installation von Tivora in $INSTDIR ist nicht vollständig, und vdds_mmi.ini ruft weiter ihr Programm $INSTDIR\tvdds.exe auf, das jetzt womöglich fehlt.$Removed Beenden Sie, was die Datei geöffnet hält, dann installieren Sie erneut."
LangString PROGRAM_IN_USE ${LANG_ENGLISH} "$INSTDIR\tvdds.exe is in use, so Tivora was not uninstalled: it stays installed and registered. Close the program, or what holds it open, then uninstall again."
LangString PROGRAM_IN_USE ${LANG_GERMAN} "$INSTDIR\tvdds.exe wird gerade verwendet; Tivora wurde daher nicht deinstalliert und bleibt installiert und eingetragen. Beenden Sie das Programm oder was es geöffnet hält, dann deinstallieren Sie erneut."
LangString PROGRAM_IN_USE_UNREGISTERED ${LANG_ENGLISH} "$INSTDIR\tvdds.exe is in use, so Tivora was not uninstalled: it stays installed, but it was taken out of vdds_mmi.ini and could not be entered again (the reason is in the program's message before this one, or in the log). Close the program, then uninstall again, or install again to register it."
LangString PROGRAM_IN_USE_UNREGISTERED ${LANG_GERMAN} "$INSTDIR\tvdds.exe wird gerade verwendet; Tivora wurde daher nicht deinstalliert und bleibt installiert, wurde aber aus vdds_mmi.ini entfernt und ließ sich nicht wieder eintragen (den Grund nennt die Meldung des Programms vor dieser oder das Protokoll). Beenden Sie das Programm und deinstallieren Sie erneut, oder installieren Sie erneut, um es einzutragen."
LangString NOT_UNREGISTERED ${LANG_ENGLISH} "Tivora could not be removed from vdds_mmi.ini (the reason is in the program's message before this one), so it was not uninstalled: it stays installed and registered, with its files, settings and uninstall entry. Correct or restore the file, then uninstall again."
LangString NOT_UNREGISTERED ${LANG_GERMAN} "Tivora ließ sich nicht aus vdds_mmi.ini entfernen (den Grund nennt die Meldung des Programms vor dieser); es wurde daher nicht deinstalliert und bleibt mit Dateien, Einstellungen und Deinstallationseintrag installiert und eingetragen. Berichtigen oder stellen Sie die Datei wieder her, dann deinstallieren Sie erneut."
LangString INSTALLATION_NOT_PROTECTED ${LANG_ENGLISH} "The installation in $INSTDIR could have been changed by users other than administrators ($1), so its program is not run with administrator rights and Tivora was not uninstalled: it stays installed and registered. Remove the extra rights or what others put there, then uninstall again."
LangString INSTALLATION_NOT_PROTECTED ${LANG_GERMAN} "Die Installation in $INSTDIR könnten auch andere Benutzer als Administratoren geändert haben ($1); ihr Programm wird daher nicht mit Administratorrechten ausgeführt, und Tivora wurde nicht deinstalliert: es bleibt installiert und eingetragen. Entfernen Sie die zusätzlichen Rechte oder was andere dort abgelegt haben, dann deinstallieren Sie erneut."
LangString EARLIER_NOT_OURS ${LANG_ENGLISH} "The uninstall entry of an earlier installation names $1, but $4 is not there, so the uninstaller there is not run. Nothing was installed.$Removed Remove that directory's uninstall entry, or install Tivora into it again, then install again."
LangString EARLIER_NOT_OURS ${LANG_GERMAN} "Der Deinstallationseintrag einer früheren Installation nennt $1, doch $4 fehlt dort; das Deinstallationsprogramm dort wird daher nicht ausgeführt. Es wurde nichts installiert.$Removed Entfernen Sie den Deinstallationseintrag dieses Verzeichnisses, oder installieren Sie Tivora erneut dorthin, dann installieren Sie erneut."
LangString PROGRAM_MARK_KEPT ${LANG_ENGLISH} "Whether $INSTDIR\tvdds.exe is in use could not be found out without marking it for deletion, and the system kept that mark: the program may be gone. Tivora was not uninstalled otherwise; its registration, settings, other files and uninstall entry stay. Install Tivora again, then uninstall it."
LangString PROGRAM_MARK_KEPT ${LANG_GERMAN} "Ob $INSTDIR\tvdds.exe verwendet wird, ließ sich nur durch eine Löschmarkierung feststellen, und das System hat diese Markierung behalten: das Programm ist womöglich entfernt. Sonst wurde Tivora nicht deinstalliert; Eintragung, Einstellungen, übrige Dateien und Deinstallationseintrag bleiben. Installieren Sie Tivora erneut, dann deinstallieren Sie es."
LangString PROGRAM_MISSING ${LANG_ENGLISH} "$INSTDIR\tvdds.exe is missing, so Tivora's entry in vdds_mmi.ini could not be removed: practice software may still offer Tivora. Its other files, settings and uninstall entry were removed; the directory stays, so that nobody but administrators can put a program where the entry points. To remove the entry as well, install Tivora again, then uninstall it."
LangString PROGRAM_MISSING ${LANG_GERMAN} "$INSTDIR\tvdds.exe fehlt; Tivoras Eintrag in vdds_mmi.ini ließ sich daher nicht entfernen, und die Praxissoftware bietet Tivora womöglich weiter an. Die übrigen Dateien, die Einstellungen und der Deinstallationseintrag wurden entfernt; das Verzeichnis bleibt, damit nur Administratoren dort ein Programm ablegen können, wohin der Eintrag zeigt. Um auch den Eintrag zu entfernen, installieren Sie Tivora erneut und deinstallieren es dann."
LangString FILE_LEFT ${LANG_ENGLISH} "Tivora was uninstalled, but $Left could not be removed: a program may hold it open. Close it, then delete the file."
LangString FILE_LEFT ${LANG_GERMAN} "Tivora wurde deinstalliert, doch $Left ließ sich nicht entfernen: womöglich hält ein Programm die Datei geöffnet. Beenden Sie es, dann löschen Sie die Datei."
LangString NOT_AN_INSTALLATION ${LANG_ENGLISH} "$INSTDIR holds no installation of Tivora. Nothing was changed."
LangString NOT_AN_INSTALLATION ${LANG_GERMAN} "$INSTDIR enthält keine Installation von Tivora. Es wurde nichts geändert."
LangString DIRECTORY_NOT_ANSI ${LANG_ENGLISH} "The installation directory $INSTDIR has characters that vdds_mmi.ini cannot hold in this system's character set, so practice software could not call Tivora there. Nothing was installed. Choose a directory whose name has none of them."
LangString DIRECTORY_NOT_ANSI ${LANG_GERMAN} "Das Installationsverzeichnis $INSTDIR enthält Zeichen, die vdds_mmi.ini im Zeichensatz dieses Systems nicht aufnehmen kann; die Praxissoftware könnte Tivora dort nicht aufrufen. Es wurde nichts installiert. Wählen Sie ein Verzeichnis, in dessen Namen keines davon vorkommt."
LangString NEWER_INSTALLED ${LANG_ENGLISH} "A newer version of Tivora ($0) is installed. Nothing was changed. To install this older version, uninstall the newer one first."
LangString NEWER_INSTALLED ${LANG_GERMAN} "Eine neuere Version von Tivora ($0) ist installiert. Es wurde nichts geändert. Um diese ältere Version zu installieren, deinstallieren Sie zuerst die neuere."
LangString NOT_REGISTERED ${LANG_GERMAN} "Tivora konnte nicht in vdds_mmi.ini eingetragen werden. Den Grund nennt die Meldung des Programms vor dieser. Eine erneute Installation versucht die Eintragung noch einmal.$Removed"

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

; The installation directory is one nobody else can change before anything
; is written into it: no directory above it may be renamed, deleted or
; re-permissioned by others, one that is missing is created with the
; installation directory's rights (the rights Program Files has: owner the
; Administrators group, full control for SYSTEM and the administrators,
; read and run for the users, nothing inherited), and an existing one is
; judged as it is (its owner and rights, everything in it, no link on the
; way) before it gets those rights, so that one refused stays unchanged.
!macro PrepareInstallationDirectory
  tvddstrust::PrepareInstallationDirectory "$INSTDIR"
  Pop $0
  Pop $1
  Pop $2
  ${If} $0 == "changeable above"
    !insertmacro StopWith "$(DIRECTORY_ABOVE_CHANGEABLE)" "others may rename, delete or re-permission $1, above $INSTDIR; nothing installed" 1625
  ${ElseIf} $0 == "foreign directory"
    !insertmacro StopWith "$(DIRECTORY_NOT_OURS)" "$INSTDIR has an owner or rights others may change; nothing installed" 1625
  ${ElseIf} $0 == "link"
    !insertmacro StopWith "$(DIRECTORY_HOLDS_LINK)" "$1 is a link or a file with a second name; nothing installed" 1625
  ${ElseIf} $0 == "changeable"
    !insertmacro StopWith "$(DIRECTORY_HOLDS_FOREIGN)" "$INSTDIR holds $1, which others may change and which is not written anew; nothing installed" 1625
  ${ElseIf} $0 == "too deep"
    !insertmacro StopWith "$(DIRECTORY_TOO_DEEP)" "$INSTDIR holds $1, deeper than the installer looks; nothing installed" 1625
  ${ElseIf} $0 != "sound"
    DetailPrint "The rights of $1 could not be set ($2)"
    !insertmacro StopWith "$(DIRECTORY_NOT_PROTECTED)" "the rights of $1 could not be set ($2); nothing installed" 1603
  ${EndIf}
!macroend

; Whether this install repairs an installation in the same directory: "same"
; where this build's uninstall entry names it, or where vdds_mmi.ini calls
; the program there (the other build's installation, or what an earlier
; attempt that stopped left), whose program must then not be removed.
!macro NoteRepairInPlace
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $RepairInPlace "different"
  ${If} $0 != ""
    tvddstrust::SameDirectory "$0" "$INSTDIR"
    Pop $RepairInPlace
  ${EndIf}
  ReadINIStr $0 "$WINDIR\vdds_mmi.ini" "TIVORA" "PATDATIMPORT"
  ${GetFileName} "$0" $1
  ${If} $RepairInPlace != "same"
  ${AndIf} $1 == "tvdds.exe"
    ${GetParent} "$0" $0
    tvddstrust::SameDirectory "$0" "$INSTDIR"
    Pop $RepairInPlace
  ${EndIf}
!macroend

; An install that could not write a file ($1) or give it its rights says so
; and ends with 1603. A repair in place keeps what it wrote: vdds_mmi.ini
; still calls the program there.
; Elsewhere what it wrote goes again where REMOVE is "remove" (before the
; uninstall entry names the directory).
!macro SayFilesNotWritten LOGGED REMOVE
  ${If} $RepairInPlace == "same"
    MessageBox MB_OK|MB_ICONSTOP "$(FILES_NOT_REPLACED)" /SD IDOK
    !insertmacro Log "${LOGGED}; the installation in $INSTDIR is not complete, and vdds_mmi.ini still calls its program"
  ${Else}
    !if ${REMOVE} == remove
      !insertmacro RemoveWhatWasWritten
    !endif
    MessageBox MB_OK|MB_ICONSTOP "$(FILES_NOT_PROTECTED)" /SD IDOK
    !insertmacro Log "${LOGGED}; not installed completely, not registered"
  ${EndIf}
  !insertmacro SetExitCode 1603
  !insertmacro LogExitCode
!macroend

!macro StopWritingWith LOGGED
  !insertmacro SayFilesNotWritten "${LOGGED}" remove
  Quit
!macroend

; Every file is written anew, never over an old one in place (which would
; keep its owner, its rights and any other name it has).
!macro RemoveBeforeWriting PATH
  Delete "${PATH}"
  ${If} ${FileExists} "${PATH}"
    StrCpy $1 "${PATH}"
    !insertmacro StopWritingWith "$1 could not be removed before it is written"
  ${EndIf}
!macroend

; With AllowSkipFiles off, File never skips a file it cannot write and never
; sets the error flag: it ends the install, in .onInstFailed, which names
; the file.
!macro WriteAnew NAME SOURCE
  !insertmacro RemoveBeforeWriting "$OUTDIR\${NAME}"
  StrCpy $Writing "$OUTDIR\${NAME}"
  File "/oname=${NAME}" "${SOURCE}"
!macroend

!macro WriteFiles
  SetOutPath "$INSTDIR"
  !insertmacro WriteAnew tvdds.exe "${PROGRAM}"
  !insertmacro WriteAnew tvdds-check.exe "${CHECK}"
  !insertmacro RemoveBeforeWriting "$INSTDIR\uninstall.exe"
  ; An uninstaller that cannot be written only sets the error flag.
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $1 "$INSTDIR\uninstall.exe"
    !insertmacro StopWritingWith "$1 could not be written"
  ${EndIf}
  SetOutPath "$INSTDIR\lang\de\LC_MESSAGES"
  !insertmacro WriteAnew tvdds.mo "${CATALOG}"
  ; Nothing holds on to a directory the installer may remove, and what it
  ; starts looks for nothing in a directory others may write.
  SetOutPath "$SYSDIR"
!macroend

; Deletes PATH; where it is still there, $Left names it, unless it names
; another such file already.
!macro RemoveFile PATH
  Delete "${PATH}"
  ${If} ${FileExists} "${PATH}"
  ${AndIf} $Left == ""
    StrCpy $Left "${PATH}"
  ${EndIf}
!macroend

; The files beside the program and the uninstaller, which the uninstall
; removes after the program, and an install that stops after writing them
; removes again. $Left names one that could not be removed, or is empty.
!macro RemoveSupportFiles
  StrCpy $Left ""
  !insertmacro RemoveFile "$INSTDIR\tvdds-check.exe"
  !insertmacro RemoveFile "$INSTDIR\lang\de\LC_MESSAGES\tvdds.mo"
  RMDir "$INSTDIR\lang\de\LC_MESSAGES"
  RMDir "$INSTDIR\lang\de"
  RMDir "$INSTDIR\lang"
!macroend

; An install that stops because an earlier installation elsewhere stays
; leaves nothing of its own behind; backups of vdds_mmi.ini keep the
; directory. A repair in place keeps what it wrote: vdds_mmi.ini calls the
; program there.
!macro RemoveWhatWasWritten
  ${If} $RepairInPlace != "same"
    Delete "$INSTDIR\tvdds.exe"
    !insertmacro RemoveSupportFiles
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
  ${EndIf}
!macroend

; The installation directory itself and every file and folder of ours in it
; end with the installation directory's owner and rights, whatever was
; there before, and then nothing in it, nor the directory, nor one above,
; may be changed by others: checked by owner and rights, not by name.
!macro SealInstallation
  tvddstrust::SealInstallation "$INSTDIR"
  Pop $0
  Pop $1
  Pop $2
  ${If} $0 == "missing"
    !insertmacro StopWritingWith "$1 was not written"
  ${ElseIf} $0 != "sound"
    !insertmacro StopWritingWith "the rights of $1 could not be set or others may change it ($0, $2)"
  ${EndIf}
!macroend

; Right before the program runs elevated, the installation is looked at
; once more, changing nothing: sealed, it could be changed only by those
; who may, so that rights set again would change nothing, and whatever
; others could still change is refused. The uninstall entry names the
; directory by now: what was written stays.
!macro CheckInstallationBeforeRegistering
  tvddstrust::CheckInstallation "$INSTDIR"
  Pop $0
  Pop $1
  Pop $2
  ${If} $0 == "missing"
    !insertmacro SayFilesNotWritten "$1 was not written" keep
    Quit
  ${ElseIf} $0 != "sound"
    !insertmacro SayFilesNotWritten "others may change $1 ($0, $2)" keep
    Quit
  ${EndIf}
!macroend

; One installation at a time: an installation of this build in another
; directory, or of the other build anywhere, is removed by its own
; uninstaller. Its registration in vdds_mmi.ini stays (/KEEPREGISTRATION),
; so that this installation's pass corrects the product's own lines in place
; and every other vendor keeps its entry and number. Where the earlier
; installation's program is still there afterwards, whatever its uninstaller
; said, nothing is installed and its uninstaller stays. Its uninstaller
; runs elevated, so it is not run at all where anyone but SYSTEM, the
; administrators, TrustedInstaller and the installing account could have
; changed it, its directory or one above.
; WHERE "same" removes the other build's installation in this installation
; directory, before anything is written there, which its uninstaller would
; take away again (one of this build there is repaired in place); WHERE
; "different" removes one in another directory, once this installation's
; files are written and sealed, so that a failure before leaves it whole and
; registered, and removes those files again where it stays.
; STEP "judge" only refuses one whose uninstaller may not run, changing
; nothing; "remove" judges it again and runs its uninstaller.
!macro InstallationIn VIEW WHERE STEP
  !insertmacro ${VIEW}
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  !insertmacro UseProgramRegistryView
  StrCpy $6 ""
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$1\uninstall.exe"
    tvddstrust::SameDirectory "$1" "$INSTDIR"
    Pop $6
  ${EndIf}
  ${If} $6 == ${WHERE}
    tvddstrust::CheckInstallation "$1"
    Pop $3
    Pop $4
    Pop $5
    ${If} $3 == "missing"
      !if ${WHERE} == different
        !insertmacro RemoveWhatWasWritten
      !endif
      !insertmacro StopWith "$(EARLIER_NOT_OURS)" "the earlier installation in $1 lacks $4; its uninstaller was not run; nothing installed" 1627
    ${ElseIf} $3 != "sound"
      !if ${WHERE} == different
        !insertmacro RemoveWhatWasWritten
      !endif
      !insertmacro StopWith "$(EARLIER_NOT_PROTECTED)" "the earlier installation in $1 could have been changed by others ($3: $4); its uninstaller was not run; nothing installed" 1627
    ${EndIf}
  !if ${STEP} == remove
    DetailPrint "Removing the installation in $1"
    ExecWait '"$1\uninstall.exe" /S /KEEPREGISTRATION _?=$1' $2
    DetailPrint "Its uninstaller ended with $2"
    !insertmacro Log "earlier installation in $1: its uninstaller ended with $2"
    ${If} ${FileExists} "$1\tvdds.exe"
      !if ${WHERE} == different
        !insertmacro RemoveWhatWasWritten
      !endif
      !insertmacro StopWith "$(EARLIER_NOT_REMOVED)" "the earlier installation in $1 is still there; nothing installed" 1627
    ${EndIf}
    ; Uninstallers that run in place leave themselves behind. The directory
    ; goes when it is empty, unless it is this installation's.
    Delete "$1\uninstall.exe"
    !if ${WHERE} == different
      RMDir "$1"
    !endif
    StrCpy $Removed "$Removed$(EARLIER_REMOVED)"
  !endif
  ${EndIf}
!macroend

; Only 64-bit Windows has the other build's view.
!macro OtherBuildsInstallationIn WHERE STEP
  !if ${ARCH} == amd64
    !insertmacro InstallationIn UseOtherBuildRegistryView ${WHERE} ${STEP}
  !else
    ${If} ${RunningX64}
      !insertmacro InstallationIn UseOtherBuildRegistryView ${WHERE} ${STEP}
    ${EndIf}
  !endif
!macroend

!macro RemoveInstallationsElsewhere
  !insertmacro InstallationIn UseProgramRegistryView different remove
  !insertmacro OtherBuildsInstallationIn different remove
!macroend

; The file being written, which a failure that ends the install names.
Var Writing
; "same" when the install repairs this build's installation in place.
Var RepairInPlace

; The log that deployment tools ask for with /LOG=path, or with the
; environment variable TVDDS_LOG (also for the quiet uninstall, whose command
; line is fixed): one UTF-8 line per step, appended. The program, which
; inherits the variable, writes its own reports there too.
Var LogFile
Var ExitCode
; The uninstall's: "1" when an installation replacing this one ran it, "1"
; once the program took its registration out, and "same" when it runs from
; the directory it removes.
Var Replaced
Var Unregistered
Var RunsInPlace
; "1" when the installation's program is missing, and nothing is run.
Var ProgramMissing

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

; An uninstaller that runs in place cannot delete itself. Once it has ended,
; a cmd from the system directory, started without a window, deletes it and
; then removes the installation directory if nothing else is left in it, so
; that nothing waits for a restart: it tries at once and again after 1, 2,
; 4, 8 and 15 seconds while the file is still there (this process still
; running). In Windows' cmd each "if exist" makes the rest of the line
; conditional, so the command is one flat chain, without the blocks Wine's
; cmd misreads (where "&" ends the condition, the later attempts find
; nothing left and take no time). The directory reaches cmd only through the
; environment, and delayed expansion hands its value on without parsing it
; again: no name ("&", "^", "%", "!", parentheses) changes the command. cmd
; starts in the system directory, so that it holds on to no directory it
; removes; /d keeps AutoRun commands out.

!define DELETE_UNINSTALLER 'del /f /q "!TVDDS_REMOVE!\uninstall.exe"'
!define REMOVE_ATTEMPT '${DELETE_UNINSTALLER} & rd "!TVDDS_REMOVE!"'
!define WHILE_LEFT_WAIT 'if exist "!TVDDS_REMOVE!\uninstall.exe" "$SYSDIR\PING.EXE" -n'

; Appends to $0 a wait of PINGS - 1 seconds while the uninstaller is left,
; and another ATTEMPT.
!macro AppendRemoveAttemptAfter PINGS ATTEMPT
  StrCpy $0 '$0 & ${WHILE_LEFT_WAIT} ${PINGS} 127.0.0.1 & ${ATTEMPT}'
!macroend

!if ${ARCH} == amd64
  !define STARTUPINFO_SIZE 104
!else
  !define STARTUPINFO_SIZE 68
!endif

; ATTEMPT is REMOVE_ATTEMPT, or DELETE_UNINSTALLER where the directory stays;
; LOGGED says which.
!macro RemoveThisUninstallerOnceEnded ATTEMPT LOGGED
  System::Call 'kernel32::SetEnvironmentVariableW(w "TVDDS_REMOVE", w "$INSTDIR")'
  StrCpy $0 '"$SYSDIR\cmd.exe" /d /v:on /c "${ATTEMPT}'
  !insertmacro AppendRemoveAttemptAfter 2 '${ATTEMPT}'
  !insertmacro AppendRemoveAttemptAfter 3 '${ATTEMPT}'
  !insertmacro AppendRemoveAttemptAfter 5 '${ATTEMPT}'
  !insertmacro AppendRemoveAttemptAfter 9 '${ATTEMPT}'
  !insertmacro AppendRemoveAttemptAfter 16 '${ATTEMPT}'
  StrCpy $0 '$0"'
  ; STARTUPINFOW, its size first.
  System::Alloc ${STARTUPINFO_SIZE}
  Pop $1
  System::Call '*$1(i ${STARTUPINFO_SIZE})'
  System::Alloc 32
  Pop $2
  ; CREATE_NO_WINDOW; nothing inherited.
  System::Call 'kernel32::CreateProcessW(p 0, w r0, p 0, p 0, i 0, i 0x08000000, p 0, w "$SYSDIR", p r1, p r2) i .r3'
  ${If} $3 <> 0
    System::Call '*$2(p .r3, p .r4)'
    System::Call 'kernel32::CloseHandle(p r3)'
    System::Call 'kernel32::CloseHandle(p r4)'
    !insertmacro Log "${LOGGED}"
  ${Else}
    !insertmacro Log "the removal of $INSTDIR\uninstall.exe could not be started; it stays"
  ${EndIf}
  System::Free $1
  System::Free $2
!macroend

; An uninstall that has just ended leaves its uninstaller until its cleanup
; (above) has seen it end, and then removes the directory if it is empty. An
; installation into the same directory waits for that cleanup (at most 40
; seconds), so that it neither deletes the new uninstaller nor removes the
; directory after this installation set its rights; backups of vdds_mmi.ini
; left in the directory keep it.
!macro WaitForTheCleanUpOfAnEndedUninstall
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
  ${AndIfNot} ${FileExists} "$INSTDIR\tvdds.exe"
    ${For} $0 1 160
      ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
        ; The empty directory goes in the same step, right after the
        ; uninstaller, unless the uninstall keeps it: a second at most.
        ${For} $2 1 4
          ${DirState} "$INSTDIR" $1
          ${If} $1 != 0
            ${ExitFor}
          ${EndIf}
          Sleep 250
        ${Next}
        ${ExitFor}
      ${EndIf}
      Sleep 250
    ${Next}
  ${EndIf}
!macroend

; A file NSIS could not write ends the install here (its own box, where one
; is shown, offered to try again).
Function .onInstFailed
  StrCpy $1 $Writing
  !insertmacro SayFilesNotWritten "$1 could not be written" remove
FunctionEnd

Function .onInit
  Call OpenLog
  !insertmacro Log "Tivora ${VERSION} (${ARCH}) setup started: $CMDLINE"
  !insertmacro RequireAdministrator
  !insertmacro UseProgramRegistryView
  SetShellVarContext all
  !insertmacro RefuseDowngrade
FunctionEnd

; Removal tools run UninstallString with " /S" appended, which NSIS, reading
; "_?=" up to the end of the line, takes into the directory (less the "/",
; which no name may hold): where the command line ends with " /S" and the
; directory without it is the one this uninstaller sits in, it is the quiet
; uninstall.
!macro TakeAppendedSilentSwitch
  System::Call 'kernel32::GetCommandLineW() w .r0'
  StrCpy $0 "$0" "" -3
  ${If} $0 S== " /S"
    StrCpy $1 "$INSTDIR" -2
    tvddstrust::SameDirectory "$1" "$EXEDIR"
    Pop $2
    ${If} $2 == "same"
      StrCpy $INSTDIR $1
      SetSilent silent
    ${EndIf}
  ${EndIf}
!macroend

; An uninstaller started for a directory that holds no installation of ours
; (its own directory, or the one the uninstall entry names, with an
; uninstaller in it) changes nothing. Whether two names are one directory
; the plug-in finds out by what they open, not by how they are spelt.
!macro RequireOwnInstallation
  tvddstrust::SameDirectory "$INSTDIR" "$EXEDIR"
  Pop $RunsInPlace
  StrCpy $1 $RunsInPlace
  ${If} $1 != "same"
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    tvddstrust::SameDirectory "$INSTDIR" "$0"
    Pop $1
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
  ${OrIf} $1 != "same"
    !insertmacro StopWith "$(NOT_AN_INSTALLATION)" "$INSTDIR holds no installation of ours; nothing changed" 1605
  ${EndIf}
!macroend

Function un.onInit
  Call un.OpenLog
  !insertmacro Log "Tivora ${VERSION} (${ARCH}) uninstall started: $CMDLINE"
  !insertmacro RequireAdministrator
  !insertmacro UseProgramRegistryView
  SetShellVarContext all
  !insertmacro TakeAppendedSilentSwitch
  !insertmacro RequireOwnInstallation
FunctionEnd

Section "Install"
  ; Whatever refuses the installation directory, or fails writing this
  ; installation, does so before an earlier installation elsewhere is
  ; removed, whose registration would otherwise call a program that is gone.
  !insertmacro RequireAnsiInstallationDirectory
  !insertmacro WaitForTheCleanUpOfAnEndedUninstall
  ; The other build's installation in this directory is judged before the
  ; directory gets this installation's rights, so that one refused leaves
  ; it as it was; its uninstaller runs once the directory has passed.
  !insertmacro OtherBuildsInstallationIn same judge
  !insertmacro PrepareInstallationDirectory
  !insertmacro NoteRepairInPlace
  !insertmacro OtherBuildsInstallationIn same remove
  !insertmacro WriteFiles
  !insertmacro SealInstallation
  !insertmacro RemoveInstallationsElsewhere
  CreateDirectory "$APPDATA\Tivora\conf"

  !insertmacro Log "files written to $INSTDIR and $APPDATA\Tivora\conf"
  WriteRegStr HKLM "${CLIENT_KEY}" "BaseAppPath" "$INSTDIR"
  WriteRegStr HKLM "${CLIENT_KEY}" "BaseDataPath" "$APPDATA\Tivora"
  !insertmacro Log "registry values BaseAppPath=$INSTDIR, BaseDataPath=$APPDATA\Tivora"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Halvorin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\tvdds.exe$\""
  ; Both run the uninstaller in place ("_?=" takes the rest of the command
  ; line as it stands, so no name needs quoting): whoever starts it waits for
  ; all of it and reads its own exit code, and no copy of it runs from a
  ; temporary directory.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\" _?=$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S _?=$INSTDIR"
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
  ; The program runs elevated from the installation directory, which is
  ; checked once more right before.
  !insertmacro CheckInstallationBeforeRegistering
  ; The program says why it could not register in its own message (or in
  ; the event log); a deployment tool learns it from the exit code.
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

; An uninstall that cannot remove the program leaves the installation
; whole: registered, with every file, the settings and the uninstall entry.
!macro KeepTheInstallationInUse
  DetailPrint "$INSTDIR\tvdds.exe is in use and stays"
  !insertmacro StopWith "$(PROGRAM_IN_USE)" "$INSTDIR\tvdds.exe is in use; the installation stays, registered, with the uninstaller and the settings" 1627
!macroend

; The program runs elevated only where nobody else could have changed it,
; anything beside it or a directory above; the plug-in only looks. The
; finding is in $0, what it is about in $1.
!macro CheckInstallationBeforeRunningIt
  tvddstrust::CheckInstallation "$INSTDIR"
  Pop $0
  Pop $1
  Pop $2
!macroend

; A program started again after it was found removable stays, and so does
; everything else; the registration it lost is entered again, and where
; that fails, the message and the log say so.
!macro RegisterAgainWhileInUse
  WriteRegStr HKLM "${CLIENT_KEY}" "VddsIniWritten" "0"
  !insertmacro CheckInstallationBeforeRunningIt
  ${If} $0 == "sound"
    ClearErrors
    ExecWait '"$INSTDIR\tvdds.exe" initsetup' $0
    !insertmacro Log "tvdds.exe initsetup ended with $0"
  ${Else}
    !insertmacro Log "the installation in $INSTDIR could have been changed by others ($0: $1); tvdds.exe initsetup was not run"
    SetErrors
  ${EndIf}
  ${If} ${Errors}
  ${OrIf} $0 != "0"
    DetailPrint "$INSTDIR\tvdds.exe is in use and stays, not registered"
    !insertmacro StopWith "$(PROGRAM_IN_USE_UNREGISTERED)" "$INSTDIR\tvdds.exe is in use; the installation stays, with the uninstaller and the settings, but its registration was removed and could not be entered again" 1627
  ${EndIf}
!macroend

; Found out before anything changes: a program that runs, or that another
; process holds, cannot be removed.
!macro RequireProgramRemovable
  tvddstrust::CanRemove "$INSTDIR\tvdds.exe"
  Pop $0
  ${If} $0 == "in use"
    !insertmacro KeepTheInstallationInUse
  ${ElseIf} $0 != "removable"
    !insertmacro StopWith "$(PROGRAM_MARK_KEPT)" "$INSTDIR\tvdds.exe kept the deletion mark of the test whether it is in use; nothing else changed" 1603
  ${EndIf}
!macroend

; The registration goes first, while the program is there to remove it. The
; program reports a failure itself (a box, or the event log where nobody can
; see one), and the installation then stays whole.
!macro RemoveRegistration
  ClearErrors
  ExecWait '"$INSTDIR\tvdds.exe" removesetup' $0
  !insertmacro Log "tvdds.exe removesetup ended with $0"
  ${If} ${Errors}
  ${OrIf} $0 != "0"
    !insertmacro StopWith "$(NOT_UNREGISTERED)" "the registration could not be removed; the installation stays, with the uninstaller and the settings" 1603
  ${EndIf}
  StrCpy $Unregistered 1
!macroend

; What the uninstall could not remove: a file someone holds open, or, where
; the program was missing, its registration in vdds_mmi.ini (unless an
; installation replacing this one takes it over). Each is said once, and
; the uninstall ends with 1603.
!macro ReportWhatStays
  ${If} $Left != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(FILE_LEFT)" /SD IDOK
    !insertmacro Log "$Left could not be removed; the rest of the installation was removed"
    !insertmacro SetExitCode 1603
  ${EndIf}
  ${If} $ProgramMissing == 1
  ${AndIf} $Replaced == 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(PROGRAM_MISSING)" /SD IDOK
    !insertmacro Log "files, registry values and uninstall entry removed; the registration in vdds_mmi.ini stays, since $INSTDIR\tvdds.exe was missing: install again, then uninstall, to remove it"
    !insertmacro SetExitCode 1603
  ${EndIf}
  ${If} $ExitCode == 0
    !insertmacro Log "files removed from $INSTDIR; registry values and uninstall entry removed"
  ${EndIf}
!macroend

Section "Uninstall"
  ; The installation is looked at first, before the test whether the
  ; program is in use marks it for deletion: nothing in an installation
  ; others could have changed is touched, whoever runs the uninstall. One
  ; whose program is missing runs nothing, and what is ours goes all the
  ; same, so that it can still be uninstalled.
  !insertmacro CheckInstallationBeforeRunningIt
  StrCpy $ProgramMissing 0
  ${If} $0 == "missing"
  ${AndIfNot} ${FileExists} "$INSTDIR\tvdds.exe"
    StrCpy $ProgramMissing 1
    !insertmacro Log "$INSTDIR\tvdds.exe is missing; nothing is run from $INSTDIR"
  ${ElseIf} $0 != "sound"
    !insertmacro StopWith "$(INSTALLATION_NOT_PROTECTED)" "the installation in $INSTDIR could have been changed by others ($0: $1); tvdds.exe was not run; the installation stays, registered" 1627
  ${Else}
    !insertmacro RequireProgramRemovable
  ${EndIf}
  ; The registration stays where an installation that replaces this one
  ; takes it over.
  ${un.GetParameters} $1
  ClearErrors
  ${un.GetOptions} $1 "/KEEPREGISTRATION" $2
  StrCpy $Unregistered 0
  ${If} ${Errors}
    StrCpy $Replaced 0
    ${If} $ProgramMissing == 0
      !insertmacro RemoveRegistration
    ${EndIf}
  ${Else}
    StrCpy $Replaced 1
    !insertmacro Log "the registration stays for the installation that replaces this one"
  ${EndIf}
  ; The program goes first of the files.
  Delete "$INSTDIR\tvdds.exe"
  ${If} ${FileExists} "$INSTDIR\tvdds.exe"
    ${If} $Unregistered == 1
      !insertmacro RegisterAgainWhileInUse
    ${EndIf}
    !insertmacro KeepTheInstallationInUse
  ${EndIf}
  ; vdds_mmi.ini and its backups stay: other vendors are registered there too.
  !insertmacro RemoveSupportFiles
  ; An uninstaller that runs in place is deleted once it has ended, unless
  ; the installation replacing this one removes it; a copy that NSIS ran
  ; from a temporary directory deletes the original here.
  ; A directory the registration still calls a program in stays, so that
  ; only administrators can put a program there.
  ${If} $RunsInPlace != "same"
    !insertmacro RemoveFile "$INSTDIR\uninstall.exe"
    ${If} $ProgramMissing == 0
    ${OrIf} $Replaced == 1
      RMDir "$INSTDIR"
    ${EndIf}
  ${ElseIf} $Replaced == 0
    ${If} $ProgramMissing == 1
      !insertmacro RemoveThisUninstallerOnceEnded '${DELETE_UNINSTALLER}' "$INSTDIR\uninstall.exe goes once the uninstall has ended; the directory stays, since vdds_mmi.ini still calls a program there"
    ${ElseIf} $Left != ""
      !insertmacro RemoveThisUninstallerOnceEnded '${REMOVE_ATTEMPT}' "$INSTDIR\uninstall.exe goes once the uninstall has ended; the directory stays, holding $Left"
    ${Else}
      !insertmacro RemoveThisUninstallerOnceEnded '${REMOVE_ATTEMPT}' "$INSTDIR\uninstall.exe and the directory go once the uninstall has ended"
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${CLIENT_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Halvorin"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  !insertmacro ReportWhatStays
  !insertmacro LogExitCode
SectionEnd
