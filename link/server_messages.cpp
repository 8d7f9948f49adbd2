#include "link/server_messages.h"

#include <cstring>
#include <string>

#include "app/status_file.h"
#include "app/update_handoff.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "page/message_envelope.h"
#include "page/script_bridge.h"

namespace {

DWORD WINAPI CleanOldLogsThread(void*) {
  CleanOldLogs();  // does its work at most once per run
  return 0;
}

void ActOnSystemMessage(const MessageEnvelope& message) {
  if (message.a == "conn") {
    StartThread(CleanOldLogsThread, nullptr);
  } else if (message.a == "update") {
    RunInPage("location.reload(true)");
    HandOffUpdateDetached(UpdateMode::kHidden);
  }
}

// The page gets the bytes as they came, and reads them as code page 936.
// A UTF-8 message is parsed after conversion, so its raw bytes must be valid
// JSON as code page 936 too: otherwise the last byte of a UTF-8 character
// could swallow a following backslash and let the text run as script.
bool SafeForThePage(const std::string& text) {
  if (text.find(kUtf8Marker) == std::string::npos) return true;
  JsonDocument as_the_page_reads_it;
  return as_the_page_reads_it.Parse(text, false);
}

}  // namespace

En_HP_HandleResult __stdcall OnLinkReceive(HP_Client, HP_CONNID, const BYTE* data, int length) {
  if (data == nullptr || length <= 0) return HP_HR_OK;
  const char* bytes = reinterpret_cast<const char*>(data);
  std::string text(bytes, strnlen(bytes, static_cast<size_t>(length)));  // up to the first zero
  // Once shutdown has begun the page is going away: relaying would only keep
  // the socket worker waiting on the GUI thread, and the run's log ends with
  // the shutdown's own lines.
  if (LinkStopping()) return HP_HR_OK;
  MessageEnvelope message;
  if (!ReadEnvelope(text, &message)) return HP_HR_OK;
  LinkLog("OnHandle data:" + text);
  if (!SafeForThePage(text)) {
    LinkLog("OnHandle dropped: not valid JSON as the page reads it");
    return HP_HR_OK;
  }
  StatusPush();
  if (message.c == "sys") ActOnSystemMessage(message);
  RunInPage("clientJS2(" + text + ")");
  return HP_HR_OK;
}
