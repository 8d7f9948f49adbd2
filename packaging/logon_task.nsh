; The start at logon. The program asks for administrator rights, and with UAC
; on Windows does not start such a program from the Startup folder; a logon
; task with the highest privileges does start it. The task is registered for
; the installing user, or for the user /TASKUSER= names (an installer run by an
; administrator account or by a deployment tool as SYSTEM is not the till's
; user). Its definition is kept in the program folder as logon-task.xml.

!define TASK_NAME "Tarnlumo"
!define TASK_FILE "logon-task.xml"

; $R0 with &, <, > and " written as XML entities.
Function XmlEscape
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $1 ""
  StrLen $2 $R0
  StrCpy $3 0
  ${DoWhile} $3 < $2
    StrCpy $0 $R0 1 $3
    ${If} $0 == "&"
      StrCpy $0 "&amp;"
    ${ElseIf} $0 == "<"
      StrCpy $0 "&lt;"
    ${ElseIf} $0 == ">"
      StrCpy $0 "&gt;"
    ${ElseIf} $0 == '"'
      StrCpy $0 "&quot;"
    ${EndIf}
    StrCpy $1 "$1$0"
    IntOp $3 $3 + 1
  ${Loop}
  StrCpy $R0 $1
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro TASK_LINE text
  FileWriteUTF16LE $R5 `${text}$\r$\n`
!macroend

; Registers the task (replacing one of an earlier install); $R0 = 0 when done.
Function RegisterLogonTask
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  ${If} $HaveTaskUser = 1
    StrCpy $R1 $TaskUser
  ${Else}
    ReadEnvStr $R2 USERNAME
    ReadEnvStr $R3 USERDOMAIN
    ; Run as SYSTEM (a deployment tool), the user is the machine's account.
    StrCpy $R4 $R2 1 -1
    ${If} $R4 == "$$"
    ${OrIf} $R2 == ""
      !insertmacro SAY "Tarnlumo setup: no logon task: the installer runs as $R3\$R2, not as the till's user; give /TASKUSER=DOMAIN\user"
      StrCpy $R0 1
      Goto done
    ${EndIf}
    StrCpy $R1 "$R3\$R2"
    ${If} $R3 == ""
      StrCpy $R1 $R2
    ${EndIf}
  ${EndIf}
  StrCpy $R0 $R1
  Call XmlEscape
  StrCpy $R2 $R0
  StrCpy $R0 $INSTDIR
  Call XmlEscape
  StrCpy $R3 $R0

  ; schtasks reads a task definition in UTF-16 with its byte order mark.
  FileOpen $R5 "$INSTDIR\${TASK_FILE}" w
  ${If} $R5 == ""
    !insertmacro SAY "Tarnlumo setup: no logon task: cannot write $INSTDIR\${TASK_FILE}"
    StrCpy $R0 1
    Goto done
  ${EndIf}
  FileWriteUTF16LE /BOM $R5 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  !insertmacro TASK_LINE '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
  !insertmacro TASK_LINE '  <RegistrationInfo>'
  !insertmacro TASK_LINE '    <Author>${PUBLISHER}</Author>'
  !insertmacro TASK_LINE '    <Description>Starts ${PRODUCT} lumo with the highest privileges at the logon of $R2.</Description>'
  !insertmacro TASK_LINE '  </RegistrationInfo>'
  !insertmacro TASK_LINE '  <Triggers>'
  !insertmacro TASK_LINE '    <LogonTrigger>'
  !insertmacro TASK_LINE '      <Enabled>true</Enabled>'
  !insertmacro TASK_LINE '      <UserId>$R2</UserId>'
  !insertmacro TASK_LINE '    </LogonTrigger>'
  !insertmacro TASK_LINE '  </Triggers>'
  !insertmacro TASK_LINE '  <Principals>'
  !insertmacro TASK_LINE '    <Principal id="Author">'
  !insertmacro TASK_LINE '      <UserId>$R2</UserId>'
  ; In the user's own session (the display is a window), without a stored password.
  !insertmacro TASK_LINE '      <LogonType>InteractiveToken</LogonType>'
  !insertmacro TASK_LINE '      <RunLevel>HighestAvailable</RunLevel>'
  !insertmacro TASK_LINE '    </Principal>'
  !insertmacro TASK_LINE '  </Principals>'
  !insertmacro TASK_LINE '  <Settings>'
  ; A second start while it runs would only end as a second instance.
  !insertmacro TASK_LINE '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
  !insertmacro TASK_LINE '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
  !insertmacro TASK_LINE '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
  ; A task is stopped after 72 hours unless told otherwise; the display runs for weeks.
  !insertmacro TASK_LINE '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>'
  ; A task's program runs below normal priority unless told otherwise.
  !insertmacro TASK_LINE '    <Priority>4</Priority>'
  !insertmacro TASK_LINE '  </Settings>'
  !insertmacro TASK_LINE '  <Actions Context="Author">'
  !insertmacro TASK_LINE '    <Exec>'
  !insertmacro TASK_LINE '      <Command>"$R3\${EXE}"</Command>'
  !insertmacro TASK_LINE '      <WorkingDirectory>$R3</WorkingDirectory>'
  !insertmacro TASK_LINE '    </Exec>'
  !insertmacro TASK_LINE '  </Actions>'
  !insertmacro TASK_LINE '</Task>'
  FileClose $R5

  !insertmacro RUN_TOOL '"$SYSDIR\schtasks.exe" /Create /TN "${TASK_NAME}" /XML "$INSTDIR\${TASK_FILE}" /F' $R0 $R4
  ${If} $R0 == 0
    !insertmacro SAY "Tarnlumo setup: logon task ${TASK_NAME} registered: starts $INSTDIR\${EXE} with the highest privileges at the logon of $R1"
  ${Else}
    !insertmacro SAY "Tarnlumo setup: the logon task ${TASK_NAME} for $R1 was not registered (schtasks exit $R0): $R4"
    StrCpy $R0 1
  ${EndIf}
done:
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

Function un.RemoveLogonTask
  Push $R0
  Push $R1
  !insertmacro RUN_TOOL '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F' $R0 $R1
  ${If} $R0 == 0
    !insertmacro SAY "Tarnlumo setup: logon task ${TASK_NAME} removed"
  ${ElseIf} $R0 == "error"
    ; Not "no task": the task may well be there, pointing at a removed program.
    !insertmacro SAY "Tarnlumo setup: the logon task ${TASK_NAME} could not be removed: schtasks.exe did not start"
  ${Else}
    !insertmacro SAY "Tarnlumo setup: no logon task ${TASK_NAME} to remove (schtasks exit $R0)"
  ${EndIf}
  Delete "$INSTDIR\${TASK_FILE}"
  Pop $R1
  Pop $R0
FunctionEnd
