// Event registration: each event keeps its handler in its own slot, so a
// later registration replaces the earlier one and Detach forgets them all.
#include "page/engine_call.h"
#include "page/page_host.h"

template <typename Callback, typename Registration>
void PageHost::Register(Event event, Callback handler, void* param, Registration registration) {
  handlers_[event] = reinterpret_cast<void*>(handler);
  CallView(registration, view_, handler, param);
}

void PageHost::OnTitleChanged(wkeTitleChangedCallback handler, void* param) {
  Register(kTitleChanged, handler, param, Node().wkeOnTitleChanged);
}
void PageHost::OnURLChanged(wkeUrlChangedCallback handler, void* param) {
  Register(kUrlChanged, handler, param, Node().wkeOnURLChanged);
}
void PageHost::OnURLChanged2(wkeUrlChanged2Callback handler, void* param) {
  Register(kUrlChanged2, handler, param, Node().wkeOnURLChanged2);
}
void PageHost::OnAlertBox(wkeAlertBoxCallback handler, void* param) {
  Register(kAlertBox, handler, param, Node().wkeOnAlertBox);
}
void PageHost::OnConfirmBox(wkeConfirmBoxCallback handler, void* param) {
  Register(kConfirmBox, handler, param, Node().wkeOnConfirmBox);
}
void PageHost::OnPromptBox(wkePromptBoxCallback handler, void* param) {
  Register(kPromptBox, handler, param, Node().wkeOnPromptBox);
}
void PageHost::OnNavigation(wkeNavigationCallback handler, void* param) {
  Register(kNavigation, handler, param, Node().wkeOnNavigation);
}
void PageHost::OnCreateView(wkeCreateViewCallback handler, void* param) {
  Register(kCreateView, handler, param, Node().wkeOnCreateView);
}
void PageHost::OnDocumentReady(wkeDocumentReadyCallback handler, void* param) {
  Register(kDocumentReady, handler, param, Node().wkeOnDocumentReady);
}
void PageHost::OnDocumentReady2(wkeDocumentReady2Callback handler, void* param) {
  Register(kDocumentReady2, handler, param, Node().wkeOnDocumentReady2);
}
void PageHost::OnLoadingFinish(wkeLoadingFinishCallback handler, void* param) {
  Register(kLoadingFinish, handler, param, Node().wkeOnLoadingFinish);
}
void PageHost::OnDownload(wkeDownloadCallback handler, void* param) {
  Register(kDownload, handler, param, Node().wkeOnDownload);
}
void PageHost::OnConsole(wkeConsoleCallback handler, void* param) {
  Register(kConsole, handler, param, Node().wkeOnConsole);
}
void PageHost::OnLoadUrlBegin(wkeLoadUrlBeginCallback handler, void* param) {
  Register(kLoadUrlBegin, handler, param, Node().wkeOnLoadUrlBegin);
}
void PageHost::OnLoadUrlEnd(wkeLoadUrlEndCallback handler, void* param) {
  Register(kLoadUrlEnd, handler, param, Node().wkeOnLoadUrlEnd);
}
void PageHost::OnDidCreateScriptContext(wkeDidCreateScriptContextCallback handler, void* param) {
  Register(kDidCreateScriptContext, handler, param, Node().wkeOnDidCreateScriptContext);
}
void PageHost::OnWillReleaseScriptContext(wkeWillReleaseScriptContextCallback handler,
                                          void* param) {
  Register(kWillReleaseScriptContext, handler, param, Node().wkeOnWillReleaseScriptContext);
}
void PageHost::OnNetResponse(wkeNetResponseCallback handler, void* param) {
  Register(kNetResponse, handler, param, Node().wkeNetOnResponse);
}
void PageHost::OnMouseOverUrlChanged(wkeMouseOverUrlChangedCallback handler, void* param) {
  Register(kMouseOverUrlChanged, handler, param, Node().wkeOnMouseOverUrlChanged);
}
void PageHost::OnWillMediaLoad(wkeWillMediaLoadCallback handler, void* param) {
  Register(kWillMediaLoad, handler, param, Node().wkeOnWillMediaLoad);
}
