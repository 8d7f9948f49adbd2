#include "link/server_messages.h"

#include <string>

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

}  // namespace

En_HP_HandleResult __stdcall OnLinkReceive(HP_Client, HP_CONNID, const BYTE* data, int length) {
  if (data == nullptr || length <= 0) return HP_HR_OK;
  std::string bytes(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
  std::string text = bytes.c_str();  // up to the first zero byte
  MessageEnvelope message;
  if (!ReadEnvelope(text, &message)) return HP_HR_OK;
  WriteLog("客户通信", "OnHandle data:" + text);
  // Once shutdown has begun the page is going away; relaying would only keep
  // the socket worker waiting on the GUI thread.
  if (LinkStopping()) return HP_HR_OK;
  if (message.c == "sys") ActOnSystemMessage(message);
  RunInPage("clientJS2(" + text + ")");
  return HP_HR_OK;
}
