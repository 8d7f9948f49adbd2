; The event source "Tarnlumo" in the Application log: Windows finds the texts
; of the program's events in the message table of Tarnlumo.exe itself, so the
; event viewer and the tools that read the log show them in full.

!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Tarnlumo"
; Error, warning and information (EVENTLOG_ERROR_TYPE | WARNING | INFORMATION).
!define EVENT_TYPES_SUPPORTED 7

!macro REGISTER_EVENT_SOURCE exe_path
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "${exe_path}"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" ${EVENT_TYPES_SUPPORTED}
!macroend

; The events already written stay in the log; without the source their texts
; are no longer shown in full, as for any uninstalled program.
!macro UNREGISTER_EVENT_SOURCE
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
!macroend
