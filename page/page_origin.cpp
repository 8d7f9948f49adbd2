#include "page/page_origin.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "app/event_report.h"
#include "log/log_file.h"
#include "net/url_origin.h"
#include "page/engine_call.h"
#include "page/engine_text.h"

namespace {

// A URL longer than this is cut in the log; the origin is at its front.
constexpr size_t kLoggedUrlLength = 200;

// A foreign page that retries in a loop gets one event a minute, not one a call.
constexpr DWORD kRefusalEventGapMs = 60000;

std::mutex g_lock;
std::atomic<DWORD> g_last_refusal_event{0};
std::atomic<bool> g_refusal_reported{false};
std::vector<std::string> g_trusted;

}  // namespace

void TrustPageOrigins(const std::string& page_url, const std::string& trusted_list) {
  std::vector<std::string> trusted = OriginList(trusted_list);
  std::string page_origin = OriginOf(page_url);
  if (page_origin != kOpaqueOrigin) trusted.insert(trusted.begin(), page_origin);
  std::lock_guard<std::mutex> hold(g_lock);
  g_trusted = std::move(trusted);
}

bool IsTrustedOrigin(const std::string& url_or_origin) {
  std::string origin = OriginOf(url_or_origin);
  if (origin == kOpaqueOrigin) return false;
  std::lock_guard<std::mutex> hold(g_lock);
  for (const std::string& trusted : g_trusted) {
    if (origin == trusted) return true;
  }
  return false;
}

std::string CallerOrigin(jsExecState state) {
  const NodeApi& node = Node();
  // Without these the caller cannot be told apart from any other document.
  if (node.jsGetGlobal == nullptr || node.jsGet == nullptr || node.jsToTempStringW == nullptr) {
    return "";
  }
  jsValue location = node.jsGetGlobal(state, "location");
  jsValue origin = node.jsGet(state, location, "origin");
  return TextOf(node.jsToTempStringW(state, origin));
}

void LogRefusal(const std::string& text) {
  WriteLog("WKE", text);
  DWORD now = ::GetTickCount();
  if (g_refusal_reported.exchange(true) && now - g_last_refusal_event.load() < kRefusalEventGapMs) {
    return;
  }
  g_last_refusal_event = now;
  ReportToEventLog(EventId::kRefused, text);
}

std::string ShortenedText(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  // Cut between characters, never between the two bytes of one.
  size_t end = 0;
  while (end < limit) {
    size_t next = end + (static_cast<unsigned char>(text[end]) >= 0x81 ? 2 : 1);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end) + "...";
}

std::string LoggedUrl(const std::string& url) { return ShortenedText(url, kLoggedUrlLength); }
