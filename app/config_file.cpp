#include "app/config_file.h"

#include <windows.h>

#include <cctype>
#include <vector>

#include "net/http_global.h"

namespace {

std::string g_config_path;
ServerSettings g_server_settings;

// The private-profile functions stumble over leading blanks and control
// characters, so everything up to code 32 is skipped first.
const char* SkipLeadingControls(const std::string& text) {
  const char* p = text.c_str();
  while (*p != '\0' && static_cast<unsigned char>(*p) <= 32) ++p;
  return p;
}

}  // namespace

std::string ReadIniFile(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& fallback) {
  const char* file = SkipLeadingControls(path);
  const char* app = SkipLeadingControls(section);
  const char* name = SkipLeadingControls(key);
  if (*file == '\0' || *app == '\0' || *name == '\0') return "";
  std::vector<char> buffer(kIniReadBufferSize, '\0');
  ::GetPrivateProfileStringA(app, name, fallback.empty() ? nullptr : fallback.c_str(),
                             buffer.data(), kIniReadBufferSize, file);
  return buffer.data();
}

bool WriteIniFile(const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value) {
  const char* file = SkipLeadingControls(path);
  const char* app = SkipLeadingControls(section);
  const char* name = SkipLeadingControls(key);
  // No key deletes the whole section; no value deletes the key.
  return ::WritePrivateProfileStringA(app, *name ? name : nullptr,
                                      (*name && !value.empty()) ? value.c_str() : nullptr,
                                      file) != FALSE;
}

std::string ReadIni(const std::string& section, const std::string& key,
                    const std::string& fallback) {
  return ReadIniFile(g_config_path, section, key, fallback);
}

bool WriteIni(const std::string& section, const std::string& key, const std::string& value) {
  return WriteIniFile(g_config_path, section, key, value);
}

int LeadingInteger(const std::string& text) {
  long long value = 0;
  for (char c : text) {
    if (!isdigit(static_cast<unsigned char>(c))) break;
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  }
  return static_cast<int>(value);
}

void LoadConfig(const std::string& config_path) {
  g_config_path = config_path;
  InitHttpGlobal();
  g_server_settings.host = ReadIni("server", "ip", "127.0.0.1");
  g_server_settings.web_port = LeadingInteger(ReadIni("server", "webport", "8099"));
  g_server_settings.scheme = "http://";
}

const ServerSettings& LoadedServerSettings() { return g_server_settings; }

void SetConfigPath(const std::string& config_path) { g_config_path = config_path; }
