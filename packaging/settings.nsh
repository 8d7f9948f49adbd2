; The settings an install writes into config.ini: read from the command line,
; checked, and asked for on the interactive page.

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
  ${If} $HaveTaskUser = 1
  ${AndIf} $TaskUser == ""
    StrCpy $R0 "the user of the logon task (/TASKUSER=) is empty"
    Goto done
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
  !insertmacro READ_OPTION $0 TASKUSER
  StrCpy $TaskUser $1
  StrCpy $HaveTaskUser $2
  Call CheckSettings
  ; Without /S the folder is checked when it is chosen on its page.
  ${If} $R0 == ""
  ${AndIf} ${Silent}
    Call CheckInstallFolder
  ${EndIf}
  ${If} $R0 != ""
    !insertmacro SAY "Tarnlumo setup: bad parameter: $R0; nothing was installed"
    MessageBox MB_ICONSTOP "参数错误: $R0$\n未安装任何文件。" /SD IDOK
    SetErrorLevel ${BAD_PARAMETER_EXIT}
    Quit
  ${EndIf}
FunctionEnd

; ---- the interactive pages: the folder; server address, web port, screen ----

Function DirectoryPageLeave
  Call CheckInstallFolder
  ${If} $R0 != ""
    MessageBox MB_ICONEXCLAMATION "安装文件夹不可用: $R0"
    Abort
  ${EndIf}
FunctionEnd

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

