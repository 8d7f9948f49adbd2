#include "standins/node/page_natives.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "standins/node/bindings.h"
#include "standins/node/html_scanner.h"
#include "standins/node/http_fetch.h"
#include "standins/node/page.h"
#include "standins/node/reentry.h"
#include "standins/node/script_values.h"
#include "standins/node/text_codec.h"
#include "standins/node/url_resolve.h"
#include "standins/node/view.h"

namespace node_standin {
namespace {

// A URL the page wrote (engine text) made absolute against the page, as UTF-8.
std::string PageUrl(Page* page, const std::string& reference) {
  return ResolveUrl(page->url(), Utf16ToUtf8(Cesu8ToUtf16(reference)));
}

duk_ret_t ReportErrorNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page != nullptr) page->ReportError(0);
  return 0;
}

duk_ret_t SetTimerNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page == nullptr) return 0;
  double delay = duk_get_number_default(ctx, 0, 0);
  bool repeat = duk_to_boolean(ctx, 1) != 0;
  // NaN fails both comparisons and ends up at the shortest delay.
  uint32_t milliseconds = delay >= 0x7FFFFFFF ? 0x7FFFFFFF
                          : delay >= 1        ? static_cast<uint32_t>(delay)
                                              : 1;
  duk_push_uint(ctx, page->view()->StartTimer(page->serial(), milliseconds, repeat));
  return 1;
}

duk_ret_t ClearTimerNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page != nullptr) page->view()->StopTimer(duk_get_uint_default(ctx, 0, 0));
  return 0;
}

FetchRequest ReadXhrRequest(duk_context* ctx, Page* page) {
  FetchRequest request;
  request.method = SafeScriptBytes(ctx, 0);
  request.url = PageUrl(page, SafeScriptBytes(ctx, 1));
  if (duk_is_array(ctx, 2)) {
    duk_size_t count = duk_get_length(ctx, 2);
    for (duk_size_t i = 0; i + 1 < count; i += 2) {
      duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
      duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i + 1));
      std::string header = SafeScriptBytes(ctx, -2) + ": " + SafeScriptBytes(ctx, -1);
      duk_pop_2(ctx);
      // A line break would let the page write headers of its own choosing.
      if (header.find_first_of("\r\n") == std::string::npos) {
        request.headers.push_back(Utf16ToUtf8(Cesu8ToUtf16(header)));
      }
    }
  }
  if (!duk_is_null_or_undefined(ctx, 3)) {
    request.has_body = true;
    request.body = Utf16ToUtf8(Cesu8ToUtf16(SafeScriptBytes(ctx, 3)));
  }
  return request;
}

// xhrSend(method, url, headers, body, async): an id for async requests, or
// [status, text, failed] once a synchronous one has finished.
duk_ret_t XhrSendNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page == nullptr) return 0;
  bool async = duk_to_boolean(ctx, 4) != 0;
  FetchRequest request = ReadXhrRequest(ctx, page);
  if (async) {
    duk_push_uint(ctx, page->view()->StartXhr(page->serial(), std::move(request)));
    return 1;
  }
  FetchResponse response = Fetch(request, nullptr);
  duk_push_array(ctx);
  duk_push_int(ctx, response.completed ? static_cast<duk_int_t>(response.status) : 0);
  duk_put_prop_index(ctx, -2, 0);
  PushText(ctx, Utf8ToCesu8(response.body));
  duk_put_prop_index(ctx, -2, 1);
  duk_push_boolean(ctx, !response.completed);
  duk_put_prop_index(ctx, -2, 2);
  return 1;
}

duk_ret_t StorageSaveNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page != nullptr) page->view()->SaveLocalStorage(page->origin(), SafeScriptBytes(ctx, 0));
  return 0;
}

// Navigations the page starts: each asks the host first, from inside the
// script that started it, so the host sees who asked.
// A child frame's document navigates its own frame; the top document, the view.
void NavigatePage(Page* page, const std::string& url, int type) {
  if (page->frame_index() >= 0) {
    page->view()->NavigateFrame(page->frame_index(), url);
  } else {
    page->view()->Navigate(url, type);
  }
}

duk_ret_t ReloadNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page != nullptr) NavigatePage(page, page->url(), kNavigationReload);
  return 0;
}

duk_ret_t NavigateNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page != nullptr) NavigatePage(page, PageUrl(page, SafeScriptBytes(ctx, 0)), kNavigationOther);
  return 0;
}

// followLink(href, newWindow): the default action of a click on a link.
duk_ret_t FollowLinkNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page == nullptr) return 0;
  std::string url = PageUrl(page, SafeScriptBytes(ctx, 0));
  if (duk_to_boolean(ctx, 1) != 0) {
    page->view()->OpenWindow(url, kNavigationLinkClick);
  } else {
    NavigatePage(page, url, kNavigationLinkClick);
  }
  return 0;
}

// openWindow(url): window.open.
duk_ret_t OpenWindowNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page != nullptr) {
    page->view()->OpenWindow(PageUrl(page, SafeScriptBytes(ctx, 0)), kNavigationOther);
  }
  return 0;
}

duk_ret_t ParseHtmlNative(duk_context* ctx) {
  std::string tree = ScanHtml(SafeScriptBytes(ctx, 0)).tree_json;
  PushText(ctx, tree);
  return 1;
}

struct NativeFunction {
  const char* name;
  duk_c_function function;
  duk_idx_t arg_count;
};
constexpr NativeFunction kNatives[] = {
    {"reportError", ReportErrorNative, 1}, {"setTimer", SetTimerNative, 2},
    {"clearTimer", ClearTimerNative, 1},   {"xhrSend", XhrSendNative, 5},
    {"storageSave", StorageSaveNative, 1}, {"reload", ReloadNative, 0},
    {"navigate", NavigateNative, 1},       {"parseHtml", ParseHtmlNative, 1},
    {"followLink", FollowLinkNative, 2},   {"openWindow", OpenWindowNative, 1},
};

// Where the running native function was called from: the calling script's
// file and line.
void CallerLocation(duk_context* ctx, std::string* file, unsigned* line) {
  duk_inspect_callstack_entry(ctx, -2);
  if (!duk_is_object(ctx, -1)) {
    duk_pop(ctx);
    return;
  }
  duk_get_prop_string(ctx, -1, "lineNumber");
  *line = duk_get_uint_default(ctx, -1, 0);
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, "function");
  if (duk_is_function(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "fileName");
    if (duk_is_string(ctx, -1)) *file = Utf16ToUtf8(SafeScriptText(ctx, -1));
    duk_pop(ctx);
  }
  duk_pop_2(ctx);
}

}  // namespace

void PushNatives(duk_context* ctx, Page* page) {
  duk_push_object(ctx);
  for (const NativeFunction& native : kNatives) {
    duk_push_c_function(ctx, native.function, native.arg_count);
    duk_put_prop_string(ctx, -2, native.name);
  }
  PushText(ctx, page->url());
  duk_put_prop_string(ctx, -2, "pageUrl");
  PushText(ctx, page->web_origin());
  duk_put_prop_string(ctx, -2, "origin");
  PushText(ctx, page->view()->LoadLocalStorage(page->origin()));
  duk_put_prop_string(ctx, -2, "storageData");
  duk_push_string(ctx, kUserAgent);
  duk_put_prop_string(ctx, -2, "userAgent");
}

duk_ret_t ConsoleNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  if (page == nullptr) return 0;
  int level = duk_get_current_magic(ctx);
  std::string file;
  unsigned line = 0;
  CallerLocation(ctx, &file, &line);
  duk_idx_t count = duk_get_top(ctx);
  std::u16string message;
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1,
                      "\xFF"
                      "hooks");
  duk_get_prop_string(ctx, -1, "format");
  if (duk_is_function(ctx, -1)) {
    for (duk_idx_t i = 0; i < count; ++i) duk_dup(ctx, i);
    if (duk_pcall(ctx, count) == 0) message = SafeScriptText(ctx, -1);
  }
  if (file.empty()) file = page->url();
  page->view()->RaiseConsole(level, message, file, line, u"");
  return 0;
}

duk_ret_t BoundFunctionNative(duk_context* ctx) {
  Page* page = Page::FromContext(ctx);
  Binding binding;
  if (page == nullptr || !FindBinding(static_cast<size_t>(duk_get_current_magic(ctx)), &binding) ||
      binding.function == nullptr) {
    return 0;
  }
  if (page->view()->script_depth() > kMaxScriptNesting) {
    return DUK_RET_RANGE_ERROR;  // too much nesting between the page and the host
  }
  ExecState state;
  state.page = page;
  for (duk_idx_t i = 0, count = duk_get_top(ctx); i < count; ++i) {
    state.args.push_back(ReadScriptValue(ctx, i));
  }
  int64_t result;
  {
    Registration<ExecState> live(&ExecStates(), &state);
    Reentry reentry;
    result = binding.function(&state, binding.param);
  }
  PushScriptValue(ctx, result);
  return 1;
}

}  // namespace node_standin
