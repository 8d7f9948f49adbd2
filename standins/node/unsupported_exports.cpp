// Functions of the engine's interface that the program looks up but that no
// page of ours needs (history, editing, cookies, frames, media, more events).
// Each engine of ours exports them all, so the program finds every function it
// looks for, as with the real engine, and each answers as an engine with
// nothing to report: no-op, zero, false or null.
//
// The C convention leaves the arguments to the caller to remove, so a function
// that takes none stands in safely for any argument list; a 64-bit zero clears
// every integer result register (EDX:EAX on 32-bit, RAX on 64-bit). The two
// float results come back in a floating-point register and get functions of
// their own: a missing value there would unbalance the 32-bit x87 stack.
#include <cstdint>

#define NODE_UNSUPPORTED(name) \
  extern "C" __declspec(dllexport) int64_t __cdecl name() { return 0; }
#define NODE_UNSUPPORTED_FLOAT(name, value) \
  extern "C" __declspec(dllexport) float __cdecl name() { return value; }

// Zoom and volume are at their neutral value: 1.
NODE_UNSUPPORTED_FLOAT(wkeGetZoomFactor, 1.0f)
NODE_UNSUPPORTED_FLOAT(wkeGetMediaVolume, 1.0f)

NODE_UNSUPPORTED(wkeCanGoBack)
NODE_UNSUPPORTED(wkeCanGoForward)
NODE_UNSUPPORTED(wkeGoBack)
NODE_UNSUPPORTED(wkeGoForward)
NODE_UNSUPPORTED(wkeCreateStringW)
NODE_UNSUPPORTED(wkeEditorCopy)
NODE_UNSUPPORTED(wkeEditorCut)
NODE_UNSUPPORTED(wkeEditorDelete)
NODE_UNSUPPORTED(wkeEditorPaste)
NODE_UNSUPPORTED(wkeEditorRedo)
NODE_UNSUPPORTED(wkeEditorSelectAll)
NODE_UNSUPPORTED(wkeEditorUnSelect)
NODE_UNSUPPORTED(wkeEditorUndo)
NODE_UNSUPPORTED(wkeGC)
NODE_UNSUPPORTED(wkeGetContentHeight)
NODE_UNSUPPORTED(wkeGetContentWidth)
NODE_UNSUPPORTED(wkeGetCookie)
NODE_UNSUPPORTED(wkeGetCookieW)
NODE_UNSUPPORTED(wkeGetCursorInfoType)
NODE_UNSUPPORTED(wkeGetHeight)
NODE_UNSUPPORTED(wkeGetName)
NODE_UNSUPPORTED(wkeGetTitleW)
NODE_UNSUPPORTED(wkeGetUserKeyValue)
NODE_UNSUPPORTED(wkeGetWidth)
NODE_UNSUPPORTED(wkeIsAwake)
NODE_UNSUPPORTED(wkeIsCookieEnabled)
NODE_UNSUPPORTED(wkeIsDocumentReady)
NODE_UNSUPPORTED(wkeIsLoading)
NODE_UNSUPPORTED(wkeIsLoadingCompleted)
NODE_UNSUPPORTED(wkeIsLoadingFailed)
NODE_UNSUPPORTED(wkeIsLoadingSucceeded)
NODE_UNSUPPORTED(wkeIsWebRemoteFrame)
NODE_UNSUPPORTED(wkeLoadFileW)
NODE_UNSUPPORTED(wkeLoadHTMLW)
NODE_UNSUPPORTED(wkeLoadURLW)
NODE_UNSUPPORTED(wkePostURLW)
NODE_UNSUPPORTED(wkeReload)
NODE_UNSUPPORTED(wkeStopLoading)
NODE_UNSUPPORTED(wkeNetOnResponse)
NODE_UNSUPPORTED(wkeOnAlertBox)
NODE_UNSUPPORTED(wkeOnConfirmBox)
NODE_UNSUPPORTED(wkeOnDidCreateScriptContext)
NODE_UNSUPPORTED(wkeOnDocumentReady)
NODE_UNSUPPORTED(wkeOnDocumentReady2)
NODE_UNSUPPORTED(wkeOnDownload)
NODE_UNSUPPORTED(wkeOnLoadUrlBegin)
NODE_UNSUPPORTED(wkeOnLoadUrlEnd)
NODE_UNSUPPORTED(wkeOnMouseOverUrlChanged)
NODE_UNSUPPORTED(wkeOnPromptBox)
NODE_UNSUPPORTED(wkeOnTitleChanged)
NODE_UNSUPPORTED(wkeOnURLChanged)
NODE_UNSUPPORTED(wkeOnURLChanged2)
NODE_UNSUPPORTED(wkeOnWillMediaLoad)
NODE_UNSUPPORTED(wkeOnWillReleaseScriptContext)
NODE_UNSUPPORTED(wkePaint)
NODE_UNSUPPORTED(wkeRunJS)
NODE_UNSUPPORTED(wkeRunJsByFrame)
NODE_UNSUPPORTED(wkeSetCookie)
NODE_UNSUPPORTED(wkeSetCookieEnabled)
NODE_UNSUPPORTED(wkeSetCookieJarFullPath)
NODE_UNSUPPORTED(wkeSetCookieJarPath)
NODE_UNSUPPORTED(wkeSetCspCheckEnable)
NODE_UNSUPPORTED(wkeSetDeviceParameter)
NODE_UNSUPPORTED(wkeSetDragEnable)
NODE_UNSUPPORTED(wkeSetDragFiles)
NODE_UNSUPPORTED(wkeSetEditable)
NODE_UNSUPPORTED(wkeSetHeadlessEnabled)
NODE_UNSUPPORTED(wkeSetMediaVolume)
NODE_UNSUPPORTED(wkeSetMemoryCacheEnable)
NODE_UNSUPPORTED(wkeSetName)
NODE_UNSUPPORTED(wkeSetNpapiPluginsEnabled)
NODE_UNSUPPORTED(wkeSetTouchEnabled)
NODE_UNSUPPORTED(wkeSetUserAgentW)
NODE_UNSUPPORTED(wkeSetUserKeyValue)
NODE_UNSUPPORTED(wkeSetViewNetInterface)
NODE_UNSUPPORTED(wkeSetViewProxy)
NODE_UNSUPPORTED(wkeSetZoomFactor)
NODE_UNSUPPORTED(wkeSleep)
NODE_UNSUPPORTED(wkeWake)
NODE_UNSUPPORTED(wkeWebFrameGetMainWorldScriptContext)
