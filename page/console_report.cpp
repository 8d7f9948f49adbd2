#include "page/console_report.h"

#include <windows.h>

#include "app/app_state.h"
#include "log/log_file.h"
#include "page/engine_text.h"
#include "page/page_host.h"
#include "page/page_navigation.h"
#include "util/json_document.h"

namespace {

constexpr int kReportedLevel = 3;  // error and above
// An error raised by a report, or within this time after one whose message
// or stack names clientJS2, is only logged: a page without a working
// clientJS2 would otherwise turn every report into the next error, forever.
constexpr DWORD kReportEchoWindowMs = 2000;
constexpr char kPageEntry[] = "clientJS2";

bool g_reporting = false;
DWORD g_last_report_tick = 0;
bool g_reported_once = false;

std::string EngineString(wkeString text) {
  auto get_string = Node().wkeGetStringW;
  if (text == nullptr || get_string == nullptr) return "";
  return TextOf(get_string(text));
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Replaces every backslash-apostrophe pair by a double quote, character by
// character: the second byte of a code page 936 character may be 0x5C, and
// such a byte is no backslash (treating it as one would put a bare quote into
// the script and break the character).
std::string ReplaceBackslashApostrophes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c) && i + 1 < text.size()) {
      out += text[i];
      out += text[++i];
    } else if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\'') {
      out += '"';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsEchoOfAReport(const std::string& msg, const std::string& stack) {
  if (g_reporting) return true;
  if (!g_reported_once || ::GetTickCount() - g_last_report_tick > kReportEchoWindowMs) return false;
  return msg.find(kPageEntry) != std::string::npos || stack.find(kPageEntry) != std::string::npos;
}

}  // namespace

std::string EscapeForJson(const std::string& text) {
  JsonDocument document;
  document.SetText("", text);
  std::string quoted = document.ToText("", false, true);
  size_t first = quoted.find('"');
  size_t last = quoted.rfind('"');
  if (first == std::string::npos || last <= first) return "";
  return quoted.substr(first + 1, last - first - 1);
}

std::string ErrorReportScript(int level, unsigned line, const std::string& msg,
                              const std::string& sname) {
  // Backslash-apostrophe stands for a double quote and is replaced
  // everywhere at the end, inside the escaped texts too.
  std::string report =
      "{\\'c\\':\\'sys\\',\\'a\\':\\'error\\',\\'data\\':{\\'level\\':" + std::to_string(level) +
      ",\\'line\\':" + std::to_string(line) + ",\\'msg\\':\\'" + EscapeForJson(msg) +
      "\\',\\'sname\\':\\'" + EscapeForJson(sname) + "\\'}}";
  return "clientJS2(" + ReplaceBackslashApostrophes(report) + ")";
}

void __cdecl ConsoleReport(wkeWebView, void*, int level, wkeString message, wkeString source,
                           unsigned line, wkeString stack) {
  if (level < kReportedLevel) return;
  std::string msg = EngineString(message);
  std::string sname = EngineString(source);
  std::string trace = EngineString(stack);
  WriteLog("控制台消息", "level:" + std::to_string(level) + " msg:" + msg + " sname:" + sname +
                             " line:" + std::to_string(line) + " fllow:" + trace);
  if (IsEchoOfAReport(msg, trace)) return;
  // A document the view was led to gets no reports meant for the page.
  if (!PageOnTrustedOrigin()) return;
  g_reporting = true;
  Host().RunScript(ErrorReportScript(level, line, msg, sname));
  g_reporting = false;
  g_reported_once = true;
  g_last_report_tick = ::GetTickCount();
}
