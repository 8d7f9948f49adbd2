; Who may change the program folder. The program runs elevated and loads its
; libraries from its own folder, so a folder an ordinary user can write to
; lets that user run code as administrator. Whatever /D= names, the folder is
; owned by the Administrators group and only Administrators and SYSTEM may
; write to it; Users may read and run what is in it.

; icacls takes SIDs with a leading "*": the same on every language of Windows.
!define ADMINISTRATORS_SID "*S-1-5-32-544"
!define SYSTEM_SID "*S-1-5-18"
!define USERS_SID "*S-1-5-32-545"
!define FOLDER_GRANTS "${ADMINISTRATORS_SID}:(OI)(CI)F ${SYSTEM_SID}:(OI)(CI)F ${USERS_SID}:(OI)(CI)RX"

; $R0 = 1 when the folder $INSTDIR holds anything, else 0.
Function FolderHoldsAnything
  Push $0
  Push $1
  StrCpy $R0 0
  FindFirst $0 $1 "$INSTDIR\*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
      StrCpy $R0 1
      ${Break}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  Pop $1
  Pop $0
FunctionEnd

; Whether $INSTDIR may become the program folder: $R0 = the problem, empty
; when none. The permissions of everything in the folder are reset, so it has
; to be new, empty, or the program's: an installed copy, or what an uninstall
; kept (config.ini with the server's address, the log folder). Never a drive's
; root nor a folder other programs or people keep their files in.
Function CheckInstallFolder
  Push $0
  StrCpy $R0 ""
  StrLen $0 "$INSTDIR"
  ${If} $0 <= 3
    StrCpy $R0 "the install folder (/D=$INSTDIR) is the root of a drive"
    Goto done
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\${EXE}"
  ${OrIf} ${FileExists} "$INSTDIR\${UNINSTALLER}"
  ${OrIf} ${FileExists} "$INSTDIR\log\lumo_log\*.*"
    Goto done
  ${EndIf}
  ClearErrors
  ReadINIStr $0 "$INSTDIR\config.ini" "server" "ip"
  ${IfNot} ${Errors}
    Goto done
  ${EndIf}
  Call FolderHoldsAnything
  ${If} $R0 = 1
    StrCpy $R0 "the install folder (/D=$INSTDIR) already holds other files; name a new or empty folder"
  ${Else}
    StrCpy $R0 ""
  ${EndIf}
done:
  Pop $0
FunctionEnd

; Runs one icacls command on the program folder; $R0 = its exit code, and a
; failure is written to the setup log with icacls's own words.
Function RunIcacls
  Exch $R1  ; the arguments
  Push $R2
  Push $R3
  !insertmacro RUN_TOOL '"$SYSDIR\icacls.exe" $R1' $R0 $R2
  ${If} $R0 != 0
    ; One log line: its output without the line ends it closes with.
    ${Do}
      StrCpy $R3 $R2 1 -1
      ${If} $R3 != "$\r"
      ${AndIf} $R3 != "$\n"
        ${Break}
      ${EndIf}
      StrCpy $R2 $R2 -1
    ${Loop}
    !insertmacro SAY "Tarnlumo setup: icacls $R1 failed (exit $R0): $R2"
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Makes the folder writable only by Administrators and SYSTEM. Run before any
; file is written, so every file the install writes inherits these entries.
; $R0 = 0 when done.
Function ProtectInstallFolder
  CreateDirectory "$INSTDIR"
  ; An owner may always change the permissions: a folder a user made
  ; beforehand must not stay theirs.
  Push '"$INSTDIR" /setowner ${ADMINISTRATORS_SID} /T /C /Q'
  Call RunIcacls
  ${If} $R0 != 0
    Return
  ${EndIf}
  ; The folder's own entries only, none inherited from the folder above it
  ; (C:\ lets every user make and change folders and files).
  Push '"$INSTDIR" /inheritance:r /grant:r ${FOLDER_GRANTS} /Q'
  Call RunIcacls
  ${If} $R0 != 0
    Return
  ${EndIf}
  ; What an earlier install left (or a user put there) loses any entry of its
  ; own and takes the folder's.
  Call FolderHoldsAnything
  ${If} $R0 = 1
    Push '"$INSTDIR\*" /reset /T /C /Q'
    Call RunIcacls
    ${If} $R0 != 0
      Return
    ${EndIf}
  ${EndIf}
  StrCpy $R0 0
  !insertmacro SAY "Tarnlumo setup: $INSTDIR is owned by Administrators and writable only by Administrators and SYSTEM; Users may read and run (icacls /inheritance:r /grant:r ${FOLDER_GRANTS})"
FunctionEnd
