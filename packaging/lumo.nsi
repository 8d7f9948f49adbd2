; The installer of the customer display, one per Windows target, made by
; scripts/package.sh with Debian's makensis. What the script passes (-D):
;   ARCH       i686 or x86_64
;   VERSION    a.b.c.d, read from the version resource of the packaged Tarnlumo.exe
;   STAGE      folder holding the files to install, and the two lists below
;   OUTFILE    the installer to write
;   STANDINS   1 when the outside libraries are our stand-ins, 0 for a shop's own
;
; Silent use (deployment without anybody at the till):
;   setup.exe /S [/IP=host] [/WEBPORT=port] [/INDEX=screen] [/D=folder]
;   uninstall.exe /S [/REMOVEDATA=1]
; Exit code 0 when done, 2 for a bad parameter (nothing installed), 1 otherwise.

Unicode true
!if "${ARCH}" == "x86_64"
  Target amd64-unicode
!endif
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

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

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom ServerPageShow ServerPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; ---- messages: the setup log, and stderr where the caller gave one --------

!macro DEFINE_SAY prefix
; Appends a line to the setup log in the temporary folder and writes it to the
; caller's standard error (a deployment tool or a shell that redirected it).
Function ${prefix}Say
  Exch $R9
  Push $R8
  Push $R7
  Push $R6
  FileOpen $R8 "${SETUP_LOG}" a
  ${If} $R8 != ""
    FileSeek $R8 0 END
    FileWrite $R8 "$R9$\r$\n"
    FileClose $R8
  ${EndIf}
  StrCpy $R6 "$R9$\n"
  System::Call 'kernel32::GetStdHandle(i -12) p .R8'
  ${If} $R8 P<> 0
  ${AndIf} $R8 P<> -1
    System::Call 'kernel32::lstrlenA(m R6) i .R7'
    System::Call 'kernel32::WriteFile(p R8, m R6, i R7, *i .R7, p 0)'
  ${EndIf}
  Pop $R6
  Pop $R7
  Pop $R8
  Pop $R9
FunctionEnd
!macroend
!insertmacro DEFINE_SAY ""
!insertmacro DEFINE_SAY "un."

!macro SAY text
  Push "${text}"
  !ifdef __UNINSTALL__
    Call un.Say
  !else
    Call Say
  !endif
!macroend

; ---- ending a running copy ------------------------------------------------

!macro DEFINE_END_RUNNING_COPY prefix
; Asks a running copy to exit as through its tray ("退出"), so its log ends
; with its shutdown lines, and waits for its process; one that has not ended
; within the bounded wait is ended hard. $WasRunning = 1 when there was one.
Function ${prefix}EndRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $WasRunning 0
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 <> 0
    StrCpy $WasRunning 1
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i r1) p .r2'
    System::Call 'user32::PostMessage(p r0, i ${WM_COMMAND}, p ${TRAY_EXIT_COMMAND}, p 0)'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
      ${If} $3 <> 0
        System::Call 'kernel32::TerminateProcess(p r2, i 1)'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 5000)'
        !insertmacro SAY "Tarnlumo setup: the running copy (pid $1) did not exit within ${EXIT_WAIT_MS} ms; it was ended hard"
      ${Else}
        !insertmacro SAY "Tarnlumo setup: the running copy (pid $1) exited"
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle to wait on: wait for its window to go instead.
      StrCpy $3 0
      ${Do}
        Sleep 100
        IntOp $3 $3 + 100
        FindWindow $0 "${MAIN_WINDOW_CLASS}"
        ${If} $3 >= ${EXIT_WAIT_MS}
          ${Break}
        ${EndIf}
      ${LoopUntil} $0 = 0
      Sleep 1000
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_RUNNING_COPY ""
!insertmacro DEFINE_END_RUNNING_COPY "un."

; ---- parameters -------------------------------------------------------------

; Whether $R0 consists of the characters in $R1 only (and is not empty): $R2 = 1 or 0.
Function OnlyCharacters
  Push $3
  Push $4
  Push $5
  StrCpy $R2 0
  StrLen $3 $R0
  ${If} $3 > 0
    StrCpy $R2 1
    StrCpy $4 0
    ${DoWhile} $4 < $3
      StrCpy $5 $R0 1 $4
      ${If} $5 == ""
        StrCpy $R2 0
      ${EndIf}
      ; StrStr-like check: is $5 one of $R1?
      Push $R1
      Push $5
      Call CharIn
      Pop $5
      ${If} $5 = 0
        StrCpy $R2 0
      ${EndIf}
      IntOp $4 $4 + 1
    ${Loop}
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
FunctionEnd

; Pushes 1 when the character on the stack is in the text under it, else 0.
Function CharIn
  Exch $0  ; character
  Exch
  Exch $1  ; allowed characters
  Push $2
  Push $3
  StrLen $2 $1
  StrCpy $3 0
  ${DoWhile} $3 < $2
    StrCpy $R3 $1 1 $3
    ${If} $R3 S== $0
      StrCpy $3 -1
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  ${If} $3 = -1
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

!define DIGITS "0123456789"
!define HOST_CHARACTERS "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_"

; Checks $Ip, $WebPort and $Index where given; $R0 = the problem, empty when none.
Function CheckSettings
  Push $R1
  Push $R2
  ${If} $HaveIp = 1
    ${If} $Ip == ""
      StrCpy $R0 "the back-office address (/IP=) is empty"
      Goto done
    ${EndIf}
    StrCpy $R0 $Ip
    StrCpy $R1 "${HOST_CHARACTERS}"
    Call OnlyCharacters
    ${If} $R2 = 0
      StrCpy $R0 "the back-office address (/IP=$Ip) is no IPv4 address or host name"
      Goto done
    ${EndIf}
  ${EndIf}
  ${If} $HavePort = 1
    StrCpy $R0 $WebPort
    StrCpy $R1 "${DIGITS}"
    Call OnlyCharacters
    StrLen $R1 $WebPort
    ${If} $R2 = 0
    ${OrIf} $R1 > 5
      StrCpy $R0 "the web port (/WEBPORT=$WebPort) is not a number from 1 to 65535"
      Goto done
    ${EndIf}
    ${If} $WebPort < 1
    ${OrIf} $WebPort > 65535
      StrCpy $R0 "the web port (/WEBPORT=$WebPort) is not a number from 1 to 65535"
      Goto done
    ${EndIf}
  ${EndIf}
  ${If} $HaveIndex = 1
    StrCpy $R0 $Index
    StrCpy $R1 "${DIGITS}"
    Call OnlyCharacters
    StrLen $R1 $Index
    ${If} $R2 = 0
    ${OrIf} $R1 > 2
      StrCpy $R0 "the screen index (/INDEX=$Index) is not a number from 0 to 99"
      Goto done
    ${EndIf}
  ${EndIf}
  StrCpy $R0 ""
done:
  Pop $R2
  Pop $R1
FunctionEnd

; Reads /NAME=value into $1 (and $2 = 1), or leaves $2 = 0 when it is not given.
!macro READ_OPTION parameters name
  ClearErrors
  ${GetOptions} "${parameters}" "/${name}=" $1
  ${If} ${Errors}
    StrCpy $2 0
    StrCpy $1 ""
  ${Else}
    StrCpy $2 1
  ${EndIf}
!macroend

Function .onInit
  ${GetParameters} $0
  !insertmacro READ_OPTION $0 IP
  StrCpy $Ip $1
  StrCpy $HaveIp $2
  !insertmacro READ_OPTION $0 WEBPORT
  StrCpy $WebPort $1
  StrCpy $HavePort $2
  !insertmacro READ_OPTION $0 INDEX
  StrCpy $Index $1
  StrCpy $HaveIndex $2
  Call CheckSettings
  ${If} $R0 != ""
    !insertmacro SAY "Tarnlumo setup: bad parameter: $R0; nothing was installed"
    MessageBox MB_ICONSTOP "参数错误: $R0$\n未安装任何文件。" /SD IDOK
    SetErrorLevel ${BAD_PARAMETER_EXIT}
    Quit
  ${EndIf}
FunctionEnd

; ---- the interactive page: server address, web port, screen -----------------

Function ServerPageShow
  !insertmacro MUI_HEADER_TEXT "后台服务器" "顾客显示屏从后台服务器加载页面并登录。"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ; An upgrade shows what the till has now; a fresh install proposes the
  ; program's own defaults.
  ${IfNot} $HaveIp = 1
    ReadINIStr $Ip "$INSTDIR\config.ini" "server" "ip"
    ${If} $Ip == ""
      StrCpy $Ip "127.0.0.1"
    ${EndIf}
  ${EndIf}
  ${IfNot} $HavePort = 1
    ReadINIStr $WebPort "$INSTDIR\config.ini" "server" "webport"
    ${If} $WebPort == ""
      StrCpy $WebPort "8099"
    ${EndIf}
  ${EndIf}
  ${IfNot} $HaveIndex = 1
    ReadINIStr $Index "$INSTDIR\config.ini" "local" "index"
  ${EndIf}
  ${NSD_CreateLabel} 0 0u 100% 12u "后台服务器地址 (IP 或主机名):"
  Pop $0
  ${NSD_CreateText} 0 13u 60% 12u "$Ip"
  Pop $IpField
  ${NSD_CreateLabel} 0 32u 100% 12u "网页端口:"
  Pop $0
  ${NSD_CreateNumber} 0 45u 30% 12u "$WebPort"
  Pop $PortField
  ${NSD_CreateLabel} 0 64u 100% 12u "屏幕序号 (1 = 最左边的显示器; 留空则启动时选择):"
  Pop $0
  ${NSD_CreateNumber} 0 77u 30% 12u "$Index"
  Pop $IndexField
  nsDialogs::Show
FunctionEnd

Function ServerPageLeave
  ${NSD_GetText} $IpField $Ip
  ${NSD_GetText} $PortField $WebPort
  ${NSD_GetText} $IndexField $Index
  StrCpy $HaveIp 1
  StrCpy $HavePort 1
  StrCpy $HaveIndex 1
  ${If} $Index == ""
    StrCpy $HaveIndex 0
  ${EndIf}
  Call CheckSettings
  ${If} $R0 != ""
    MessageBox MB_ICONEXCLAMATION "设置有误: $R0"
    Abort
  ${EndIf}
FunctionEnd

; ---- install ----------------------------------------------------------------

Section "Install"
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

  !insertmacro SAY "Tarnlumo setup: installed ${VERSION} ${ARCH_NOTE}${LIBRARIES_NOTE} into $INSTDIR"
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
  !include "${STAGE}\uninstall-files.nsh"
  Delete "$INSTDIR\${UNINSTALLER}"
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
  !insertmacro SAY "Tarnlumo setup: uninstalled from $INSTDIR (data removed: $RemoveData)"
SectionEnd
