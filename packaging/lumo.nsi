; The installer of the customer display, one per Windows target, made by
; scripts/package.sh with Debian's makensis. What the script passes (-D):
;   ARCH       i686 or x86_64
;   VERSION    a.b.c.d, read from the version resource of the packaged Tarnlumo.exe
;   STAGE      folder holding the files to install, and the two lists below
;   OUTFILE    the installer to write
;   STANDINS   1 when the outside libraries are our stand-ins, 0 for a shop's own
;   SIGN_SCRIPT (only when signing) the script that signs a file in place
;
; Silent use (deployment without anybody at the till):
;   setup.exe /S [/IP=host] [/WEBPORT=port] [/INDEX=screen] [/TASKUSER=user] [/D=folder]
;   uninstall.exe /S [/REMOVEDATA=1]
; Exit code 0 when done, 2 for a bad parameter (nothing installed), 1 otherwise.

Unicode true
!if "${ARCH}" == "x86_64"
  Target amd64-unicode
!endif
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifdef SIGN_SCRIPT
  ; The uninstaller is signed before it is stored in the installer, so the
  ; one an install writes carries its signature; then the installer itself.
  !uninstfinalize '/bin/bash "${SIGN_SCRIPT}" "%1"' = 0
  !finalize '/bin/bash "${SIGN_SCRIPT}" "%1"' = 0
!endif

!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define PRODUCT "TarnPOS背屏"
!define PUBLISHER "Tarn"
!define EXE "Tarnlumo.exe"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "TarnPOS背屏.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnlumo"
; The program's main window and its tray command "退出" (a WM_COMMAND that
; runs the program's normal shutdown; it refuses ordinary close requests).
!define MAIN_WINDOW_CLASS "TarnlumoMainWindow"
!define TRAY_EXIT_COMMAND 1003
; The program's watcher restarts a program that ends without its own
; shutdown; the event "<prefix><pid of the program>" set tells it that the end
; about to come is wanted (it then ends and restarts nothing).
!define WATCH_EVENT_PREFIX "TarnlumoWatch-"
; How long a running copy gets to end through its own shutdown before it is
; ended hard: a copy still waiting for its server at start-up does not handle
; window messages until the server answers.
!define EXIT_WAIT_MS 30000
!define BAD_PARAMETER_EXIT 2
!define SETUP_LOG "$TEMP\Tarnlumo-setup.log"

!if "${STANDINS}" == "1"
  !define LIBRARIES_NOTE " (stand-in libraries)"
!else
  !define LIBRARIES_NOTE ""
!endif
!if "${ARCH}" == "x86_64"
  !define ARCH_NOTE "x86-64"
  InstallDir "$PROGRAMFILES64\Tarn\lumo"
!else
  !define ARCH_NOTE "x86"
  InstallDir "$PROGRAMFILES\Tarn\lumo"
!endif
; An installed copy is upgraded where it is, unless /D= says otherwise.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

Name "${PRODUCT} lumo ${VERSION}"
Caption "${PRODUCT} lumo ${VERSION} ${ARCH_NOTE}${LIBRARIES_NOTE}"
BrandingText "${PRODUCT} lumo ${VERSION} ${ARCH_NOTE}${LIBRARIES_NOTE}"
OutFile "${OUTFILE}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT} lumo"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} lumo ${ARCH_NOTE} setup${LIBRARIES_NOTE}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

Var Ip
Var HaveIp
Var WebPort
Var HavePort
Var Index
Var HaveIndex
Var WasRunning
Var RemoveData
Var IpField
Var PortField
Var IndexField
Var TaskUser
Var HaveTaskUser
Var Failed

!define MUI_ABORTWARNING
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom ServerPageShow ServerPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

!include "run_tool.nsh"
!include "running_copy.nsh"
!include "folder_access.nsh"
!include "logon_task.nsh"
!include "settings.nsh"
!include "event_source.nsh"

; ---- install ----------------------------------------------------------------

Section "Install"
  StrCpy $Failed 0
  ; Before any file is written, so that none is ever writable by a user.
  Call ProtectInstallFolder
  ${If} $R0 != 0
    !insertmacro SAY "Tarnlumo setup: the permissions of $INSTDIR could not be restricted; nothing was installed"
    RMDir "$INSTDIR"
    SetErrorLevel 1
    Abort
  ${EndIf}
  Call EndRunningCopy
  SetOutPath "$INSTDIR"
  !include "${STAGE}\install-files.nsh"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Only the keys given; the program writes its own defaults, and an upgrade
  ; keeps every key the file has, the page's own ones included.
  ${If} $HaveIp = 1
    WriteINIStr "$INSTDIR\config.ini" "server" "ip" "$Ip"
  ${EndIf}
  ${If} $HavePort = 1
    WriteINIStr "$INSTDIR\config.ini" "server" "webport" "$WebPort"
  ${EndIf}
  ${If} $HaveIndex = 1
    WriteINIStr "$INSTDIR\config.ini" "local" "index" "$Index"
  ${EndIf}

  ; The program keeps these two up to date at each start; made here too, so a
  ; till set up without anybody at it starts the program at its next logon.
  SetShellVarContext current
  CreateShortCut "$DESKTOP\${SHORTCUT}" "$INSTDIR\${EXE}"
  CreateDirectory "$SMSTARTUP"
  CreateShortCut "$SMSTARTUP\${SHORTCUT}" "$INSTDIR\${EXE}"
  ; With UAC on, Windows starts an elevated program at logon only from a task.
  Call RegisterLogonTask
  ${If} $R0 != 0
    StrCpy $Failed 1
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} lumo (${ARCH_NOTE})${LIBRARIES_NOTE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro REGISTER_EVENT_SOURCE "$INSTDIR\${EXE}"

  !insertmacro SAY "Tarnlumo setup: installed ${VERSION} ${ARCH_NOTE}${LIBRARIES_NOTE} into $INSTDIR"
  ${If} $Failed = 1
    ; Installed, but the program would not start at logon: a deployment tool should see it.
    SetErrorLevel 1
  ${EndIf}
  ; An upgrade leaves the till as it found it: a copy that ran runs again.
  ${If} $WasRunning = 1
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
SectionEnd

; ---- uninstall --------------------------------------------------------------

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA=" $1
  StrCpy $RemoveData 0
  ${IfNot} ${Errors}
  ${AndIf} $1 == "1"
    StrCpy $RemoveData 1
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.EndRunningCopy
  Call un.RemoveLogonTask
  !include "${STAGE}\uninstall-files.nsh"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; What the program said about its last run means nothing without it.
  Delete "$INSTDIR\status.json"
  Delete "$INSTDIR\status.json.tmp"
  SetShellVarContext current
  Delete "$DESKTOP\${SHORTCUT}"
  Delete "$SMSTARTUP\${SHORTCUT}"
  ; config.ini, the logs and the page's local storage stay unless asked:
  ; a till set up again finds its settings and its history.
  ${If} $RemoveData = 1
    Delete "$INSTDIR\config.ini"
    RMDir /r "$INSTDIR\log\lumo_log"
    RMDir "$INSTDIR\log"
    Delete "$INSTDIR\*.localstorage"
    RMDir /r "$INSTDIR\lumo-browser-profile"
    Delete "$INSTDIR\TarnUpdate.dat"
    !if "${STANDINS}" == "1"
      ; Our common.dll's record of the update hand-offs it was given.
      Delete "$INSTDIR\common_update_calls.txt"
    !endif
  ${EndIf}
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro UNREGISTER_EVENT_SOURCE
  !insertmacro SAY "Tarnlumo setup: uninstalled from $INSTDIR (data removed: $RemoveData)"
SectionEnd
