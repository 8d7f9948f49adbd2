// PageHost's thin forwards to the engine's per-view functions. Each passes the
// view first; without a view or without the engine function it does nothing
// and gives the result type's empty value.
#include <cstring>

#include "page/engine_call.h"
#include "page/engine_text.h"
#include "page/page_host.h"

namespace {

// Copies text into a fixed field of the proxy record, cut to fit and always
// NUL-terminated.
template <size_t N>
void CopyField(char (&field)[N], const std::string& text) {
  const size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace

void PageHost::SetDebugConfig(const char* name, const std::string& value) {
  SetDebugConfigRaw(name, AnsiToUtf8(value).c_str());
}
void PageHost::SetDebugConfigRaw(const char* name, const char* value) {
  CallView(Node().wkeSetDebugConfig, view_, name, value);
}

void PageHost::SetNavigationToNewWindowEnable(bool on) {
  CallView(Node().wkeSetNavigationToNewWindowEnable, view_, on);
}
void PageHost::SetTouchEnabled(bool on) { CallView(Node().wkeSetTouchEnabled, view_, on); }
void PageHost::SetNpapiPluginsEnabled(bool on) {
  CallView(Node().wkeSetNpapiPluginsEnabled, view_, on);
}
void PageHost::SetHeadlessEnabled(bool on) { CallView(Node().wkeSetHeadlessEnabled, view_, on); }
void PageHost::SetDragEnable(bool on) { CallView(Node().wkeSetDragEnable, view_, on); }
void PageHost::SetMemoryCacheEnable(bool on) {
  CallView(Node().wkeSetMemoryCacheEnable, view_, on);
}

void PageHost::SetViewProxy(int type, const std::string& host, unsigned short port,
                            const std::string& user, const std::string& password) {
  wkeProxy proxy = {};
  proxy.type = type;
  CopyField(proxy.hostname, host);
  proxy.port = port;
  CopyField(proxy.username, user);
  CopyField(proxy.password, password);
  CallView(Node().wkeSetViewProxy, view_, &proxy);
}

const char* PageHost::GetName() const { return CallView(Node().wkeGetName, view_); }
void PageHost::SetName(const char* name) { CallView(Node().wkeSetName, view_, name); }
void PageHost::Sleep() { CallView(Node().wkeSleep, view_); }
void PageHost::Wake() { CallView(Node().wkeWake, view_); }
bool PageHost::IsAwake() const { return CallView(Node().wkeIsAwake, view_); }

void PageHost::SetUserAgent(const std::string& agent) { SetUserAgentW(EngineText(agent).c_str()); }
void PageHost::SetUserAgentW(const wchar_t* agent) {
  CallView(Node().wkeSetUserAgentW, view_, agent);
}
void PageHost::LoadW(const wchar_t* url) { CallView(Node().wkeLoadW, view_, url); }
void PageHost::Load(const std::string& url) { LoadW(EngineText(url).c_str()); }
void PageHost::LoadURLW(const wchar_t* url) { CallView(Node().wkeLoadURLW, view_, url); }
void PageHost::LoadURL(const std::string& url) { LoadURLW(EngineText(url).c_str()); }
void PageHost::LoadHTMLW(const wchar_t* html) { CallView(Node().wkeLoadHTMLW, view_, html); }
void PageHost::LoadHTML(const std::string& html) { LoadHTMLW(EngineText(html).c_str()); }
void PageHost::LoadFileW(const wchar_t* path) { CallView(Node().wkeLoadFileW, view_, path); }
void PageHost::LoadFile(const std::string& path) { LoadFileW(EngineText(path).c_str()); }
void PageHost::PostURLW(const wchar_t* url, const Bytes& post_data) {
  CallView(Node().wkePostURLW, view_, url, post_data.data(), static_cast<int>(post_data.size()));
}
void PageHost::PostURL(const std::string& url, const Bytes& post_data) {
  PostURLW(EngineText(url).c_str(), post_data);
}

const char* PageHost::GetURLRaw() const { return CallView(Node().wkeGetURL, view_); }
std::string PageHost::GetURL() const { return TextOfUtf8(GetURLRaw()); }
bool PageHost::IsLoading() const { return CallView(Node().wkeIsLoading, view_); }
bool PageHost::IsLoadingSucceeded() const { return CallView(Node().wkeIsLoadingSucceeded, view_); }
bool PageHost::IsLoadingFailed() const { return CallView(Node().wkeIsLoadingFailed, view_); }
bool PageHost::IsLoadingCompleted() const { return CallView(Node().wkeIsLoadingCompleted, view_); }
bool PageHost::IsDocumentReady() const { return CallView(Node().wkeIsDocumentReady, view_); }
void PageHost::StopLoading() { CallView(Node().wkeStopLoading, view_); }
void PageHost::Reload() { CallView(Node().wkeReload, view_); }
std::string PageHost::GetTitle() const { return TextOf(CallView(Node().wkeGetTitleW, view_)); }
Bytes PageHost::GetTitleBytes() const { return WideBytesOf(CallView(Node().wkeGetTitleW, view_)); }
int PageHost::GetWidth() const { return CallView(Node().wkeGetWidth, view_); }
int PageHost::GetHeight() const { return CallView(Node().wkeGetHeight, view_); }
int PageHost::GetContentWidth() const { return CallView(Node().wkeGetContentWidth, view_); }
int PageHost::GetContentHeight() const { return CallView(Node().wkeGetContentHeight, view_); }
bool PageHost::CanGoBack() const { return CallView(Node().wkeCanGoBack, view_); }
bool PageHost::GoBack() { return CallView(Node().wkeGoBack, view_); }
bool PageHost::CanGoForward() const { return CallView(Node().wkeCanGoForward, view_); }
bool PageHost::GoForward() { return CallView(Node().wkeGoForward, view_); }
void PageHost::EditorSelectAll() { CallView(Node().wkeEditorSelectAll, view_); }
void PageHost::EditorUnSelect() { CallView(Node().wkeEditorUnSelect, view_); }
void PageHost::EditorCopy() { CallView(Node().wkeEditorCopy, view_); }
void PageHost::EditorCut() { CallView(Node().wkeEditorCut, view_); }
void PageHost::EditorPaste() { CallView(Node().wkeEditorPaste, view_); }
void PageHost::EditorDelete() { CallView(Node().wkeEditorDelete, view_); }
void PageHost::EditorUndo() { CallView(Node().wkeEditorUndo, view_); }
void PageHost::EditorRedo() { CallView(Node().wkeEditorRedo, view_); }

std::string PageHost::GetCookie() const { return TextOfUtf8(CallView(Node().wkeGetCookie, view_)); }
Bytes PageHost::GetCookieBytes() const {
  return WideBytesOf(CallView(Node().wkeGetCookieW, view_));
}
void PageHost::SetCookie(const char* url, const char* cookie) {
  CallView(Node().wkeSetCookie, view_, url, cookie);
}
void PageHost::SetCookieEnabled(bool on) { CallView(Node().wkeSetCookieEnabled, view_, on); }
bool PageHost::IsCookieEnabled() const { return CallView(Node().wkeIsCookieEnabled, view_); }
void PageHost::SetCookieJarPathW(const wchar_t* path) {
  CallView(Node().wkeSetCookieJarPath, view_, path);
}
void PageHost::SetCookieJarPath(const std::string& path) {
  SetCookieJarPathW(EngineText(path).c_str());
}
void PageHost::SetCookieJarFullPathW(const wchar_t* path) {
  CallView(Node().wkeSetCookieJarFullPath, view_, path);
}
void PageHost::SetCookieJarFullPath(const std::string& path) {
  SetCookieJarFullPathW(EngineText(path).c_str());
}
void PageHost::SetLocalStorageFullPathW(const wchar_t* path) {
  CallView(Node().wkeSetLocalStorageFullPath, view_, path);
}
void PageHost::SetLocalStorageFullPath(const std::string& path) {
  SetLocalStorageFullPathW(EngineText(path).c_str());
}
void PageHost::SetMediaVolume(float volume) { CallView(Node().wkeSetMediaVolume, view_, volume); }
float PageHost::GetMediaVolume() const { return CallView(Node().wkeGetMediaVolume, view_); }
void PageHost::SetFocus() { CallView(Node().wkeSetFocus, view_); }
void PageHost::KillFocus() { CallView(Node().wkeKillFocus, view_); }

jsValue PageHost::RunScriptW(const wchar_t* script) {
  return CallView(Node().wkeRunJSW, view_, script);
}
jsValue PageHost::RunScript(const std::string& script) {
  return RunScriptW(EngineText(script).c_str());
}
jsValue PageHost::RunJS(const char* utf8_script) {
  return CallView(Node().wkeRunJS, view_, utf8_script);
}
jsValue PageHost::RunJsByFrame(wkeWebFrameHandle frame, const char* utf8_script, bool in_closure) {
  return CallView(Node().wkeRunJsByFrame, view_, frame, utf8_script, in_closure);
}
jsValue PageHost::RunJsByFrameText(wkeWebFrameHandle frame, const std::string& script,
                                   bool in_closure) {
  return RunJsByFrame(frame, AnsiToUtf8(script).c_str(), in_closure);
}
void PageHost::GetMainWorldScriptContext(wkeWebFrameHandle frame, void* context_out) {
  CallView(Node().wkeWebFrameGetMainWorldScriptContext, view_, frame, context_out);
}
jsExecState PageHost::GlobalExec() const { return CallView(Node().wkeGlobalExec, view_); }
