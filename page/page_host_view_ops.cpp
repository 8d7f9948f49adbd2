// PageHost's forwards for zoom, editing, user values, dragged files, frames,
// and engine tuning; same rules as the other forwards.
#include <cwchar>

#include "page/engine_call.h"
#include "page/engine_text.h"
#include "page/page_host.h"

void PageHost::SetZoomFactor(float factor) { CallView(Node().wkeSetZoomFactor, view_, factor); }
float PageHost::GetZoomFactor() const { return CallView(Node().wkeGetZoomFactor, view_); }
void PageHost::SetEditable(bool on) { CallView(Node().wkeSetEditable, view_, on); }
int PageHost::GetCursorInfoType() const { return CallView(Node().wkeGetCursorInfoType, view_); }
void PageHost::SetUserKeyValue(const char* key, void* value) {
  CallView(Node().wkeSetUserKeyValue, view_, key, value);
}
void* PageHost::GetUserKeyValue(const char* key) const {
  return CallView(Node().wkeGetUserKeyValue, view_, key);
}

void PageHost::SetDragFiles(POINT client, POINT screen, const std::vector<std::string>& files) {
  const NodeApi& node = Node();
  if (view_ == nullptr || node.wkeSetDragFiles == nullptr || node.wkeCreateStringW == nullptr) {
    return;
  }
  std::vector<wkeString> names;
  for (const std::string& file : files) {
    EngineText wide(file);
    names.push_back(node.wkeCreateStringW(wide.c_str(), std::wcslen(wide.c_str())));
  }
  // The engine keeps the strings it is handed for the drag it starts.
  node.wkeSetDragFiles(view_, &client, &screen, names.data(), static_cast<int>(names.size()));
}

wkeWebFrameHandle PageHost::GetMainFrame() const {
  return CallView(Node().wkeWebFrameGetMainFrame, view_);
}
void PageHost::SetCspCheckEnable(bool on) { CallView(Node().wkeSetCspCheckEnable, view_, on); }
void PageHost::SetViewNetInterface(const char* name) {
  CallView(Node().wkeSetViewNetInterface, view_, name);
}
bool PageHost::IsMainFrame(wkeWebFrameHandle frame) const {
  return CallView(Node().wkeIsMainFrame, view_, frame);
}
bool PageHost::IsWebRemoteFrame(wkeWebFrameHandle frame) const {
  return CallView(Node().wkeIsWebRemoteFrame, view_, frame);
}
void PageHost::GC(long interval_seconds) { CallView(Node().wkeGC, view_, interval_seconds); }
void PageHost::SetDeviceParameter(const char* device, const char* text, int number, float real) {
  CallView(Node().wkeSetDeviceParameter, view_, device, text, number, real);
}
