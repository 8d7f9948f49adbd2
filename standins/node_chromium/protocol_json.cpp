#include "protocol_json.h"

#include <windows.h>

Json ParseJson(const std::string& text) { return Json::parse(text, nullptr, false); }

std::string DumpJson(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const Json& Member(const Json& object, const char* key) {
  static const Json kNull;
  if (!object.is_object()) return kNull;
  auto found = object.find(key);
  return found == object.end() ? kNull : *found;
}

std::string StringMember(const Json& object, const char* key, const std::string& fallback) {
  const Json& value = Member(object, key);
  return value.is_string() ? value.get<std::string>() : fallback;
}

long long IntMember(const Json& object, const char* key, long long fallback) {
  const Json& value = Member(object, key);
  if (value.is_number_integer()) return value.get<long long>();
  if (value.is_number_float()) return static_cast<long long>(value.get<double>());
  return fallback;
}

bool BoolMember(const Json& object, const char* key, bool fallback) {
  const Json& value = Member(object, key);
  return value.is_boolean() ? value.get<bool>() : fallback;
}

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(length, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
  std::string narrow(length, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length,
                        nullptr, nullptr);
  return narrow;
}

std::string WideToUtf8(const wchar_t* text) {
  return text ? WideToUtf8(std::wstring(text)) : std::string();
}
