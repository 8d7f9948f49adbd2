; Messages of the installer and the uninstaller, and the ending of a running
; copy of the program before its files are replaced or removed.

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

; Tells the watcher of the program with pid $1 that the end about to come is
; wanted (EVENT_MODIFY_STATE); uses $3.
!macro STAND_DOWN_WATCHER
  System::Call 'kernel32::OpenEvent(i 0x0002, i 0, t "${WATCH_EVENT_PREFIX}$1") p .r3'
  ${If} $3 P<> 0
    System::Call 'kernel32::SetEvent(p r3)'
    System::Call 'kernel32::CloseHandle(p r3)'
  ${EndIf}
!macroend

!macro DEFINE_END_RUNNING_COPY prefix
; Stands the running copy's watcher down, asks the copy to exit as through
; its tray ("退出"), so its log ends with its shutdown lines, and waits for its
; process; one that has not ended within the bounded wait is ended hard.
; $WasRunning = 1 when there was one.
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
    ; Its watcher first: neither the exit nor a hard end below may bring a
    ; new copy back while files are replaced or removed.
    !insertmacro STAND_DOWN_WATCHER
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i r1) p .r2'
    System::Call 'user32::PostMessage(p r0, i ${WM_COMMAND}, p ${TRAY_EXIT_COMMAND}, p 0)'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
      ${If} $3 <> 0
        ; Again: a copy found in its first moments had no event to set yet.
        !insertmacro STAND_DOWN_WATCHER
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

