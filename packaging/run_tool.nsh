; Runs a system tool as nsExec::ExecToStack does, into two registers: CODE
; gets its exit code, OUTPUT what it printed. nsExec gives "error" instead of
; an exit code when the tool could not be started at all. Under Wine that
; happens once in a long while to a tool that starts every other time, so such
; a start is tried again, up to three more times a second apart; CODE is still
; "error" when none started.
!macro RUN_TOOL COMMAND CODE OUTPUT
  StrCpy ${OUTPUT} 0  ; the tries so far, until the last one's output replaces them
  ${Do}
    IntOp ${OUTPUT} ${OUTPUT} + 1
    Push ${OUTPUT}
    nsExec::ExecToStack '${COMMAND}'
    Pop ${CODE}
    Exch
    Pop ${OUTPUT}
    ${If} ${CODE} != "error"
    ${OrIf} ${OUTPUT} >= 4
      Pop ${OUTPUT}
      ${Break}
    ${EndIf}
    Pop ${CODE}  ; what a start that failed left; the next try sets CODE anew
    Sleep 1000
  ${Loop}
!macroend
