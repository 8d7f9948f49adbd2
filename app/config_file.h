#pragma once
// config.ini in the program folder: the only configuration of the program,
// read and written through the platform's private-profile functions only.
#include <string>

// Size of the buffer that reads one value; at most one byte less comes back.
inline constexpr int kIniReadBufferSize = 10240;

// The value of key in section of the config file, or `fallback` when the key,
// section or file is missing. An existing empty value gives empty text. An
// empty path, section or key (after skipping leading characters up to code 32)
// gives empty text without reading the file.
std::string ReadIni(const std::string& section, const std::string& key,
                    const std::string& fallback = "");
// Sets key in section; an empty value deletes the key, an empty key the whole
// section. Returns the platform call's success.
bool WriteIni(const std::string& section, const std::string& key, const std::string& value);
// The same two, on an explicit file (the page commands and tests use these).
std::string ReadIniFile(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& fallback = "");
bool WriteIniFile(const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value);

// The server settings that LoadConfig keeps for port discovery and the page URL.
struct ServerSettings {
  std::string scheme = "http://";
  std::string host = "127.0.0.1";
  int web_port = 8099;
};

// Keeps the config path for ReadIni/WriteIni, initialises libcurl globally on
// the first call of the process, and reads the server settings.
void LoadConfig(const std::string& config_path);
// Points ReadIni/WriteIni at a file without the rest of LoadConfig (tests).
void SetConfigPath(const std::string& config_path);
// The settings read by the last LoadConfig.
const ServerSettings& LoadedServerSettings();
// Leading decimal digits of text as an integer; 0 when there are none.
int LeadingInteger(const std::string& text);
