#include "page/offline_screen.h"

#include <fstream>
#include <iterator>

namespace {

// The marker is a media-type parameter that engines ignore; base64 keeps the
// URL free of characters an engine might escape, so it comes back unchanged.
constexpr char kUrlPrefix[] = "data:text/html;lumo=offline;base64,";

// Larger files are not a screen a shop means to show, and their URL (a
// third longer than the file) would pass the 2 MB a browser takes.
constexpr std::streamoff kMaxOfflinePageBytes = 1024 * 1024;

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    unsigned v = static_cast<unsigned char>(bytes[at]) << 16 |
                 static_cast<unsigned char>(bytes[at + 1]) << 8 |
                 static_cast<unsigned char>(bytes[at + 2]);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  size_t left = bytes.size() - at;
  if (left > 0) {
    unsigned v = static_cast<unsigned char>(bytes[at]) << 16;
    if (left == 2) v |= static_cast<unsigned char>(bytes[at + 1]) << 8;
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += left == 2 ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool ReadOfflinePage(const std::string& path, std::string* html) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  std::streamoff size = file.tellg();
  if (size <= 0 || size > kMaxOfflinePageBytes) return false;
  file.seekg(0, std::ios::beg);
  html->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !html->empty();
}

}  // namespace

std::string BuiltInScreenHtml(const std::string& time_text) {
  // Calm and neutral: the customer sees that the display is alive and that
  // something will come, nothing about networks or errors. The colours are
  // on the body itself, where every engine takes them from. The clock moves
  // on by itself; pushes that arrive meanwhile find a clientJS2 that ignores
  // them instead of filling the log with script errors.
  // UTF-8 whatever the build stores narrow literals as (code page 936 in
  // the program): the page declares UTF-8.
  return std::string(
             u8"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>请稍候</title>"
             u8"<style>html{height:100%;background:#1e2a38}"
             u8"body{margin:0;height:100%;display:flex;flex-direction:column;align-items:center;"
             u8"justify-content:center;font-family:sans-serif}"
             u8"#wait{font-size:56px}#clock{font-size:36px;margin-top:28px;opacity:.7}"
             u8"</style></head>"
             u8"<body style=\"background:#1e2a38;color:#e8edf2\">"
             u8"<div id=\"wait\">请稍候</div><div id=\"clock\">") +
         time_text +
         u8"</div><script>function clientJS2(){}"
         u8"(function(){var c=document.getElementById('clock');"
         u8"function two(n){return (n<10?'0':'')+n;}"
         u8"setInterval(function(){var d=new Date();"
         u8"c.textContent=two(d.getHours())+':'+two(d.getMinutes());},1000);})();"
         u8"</script></body></html>";
}

std::string LocalScreenUrlOf(const std::string& html) { return kUrlPrefix + Base64(html); }

std::string LocalScreenUrl(const std::string& run_directory, const std::string& time_text) {
  std::string html;
  if (!ReadOfflinePage(run_directory + kOfflinePageName, &html)) {
    html = BuiltInScreenHtml(time_text);
  }
  return LocalScreenUrlOf(html);
}

bool IsLocalScreenUrl(const std::string& url) {
  return url.compare(0, sizeof(kUrlPrefix) - 1, kUrlPrefix) == 0;
}
