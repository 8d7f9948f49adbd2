#pragma once
// JSON of the DevTools protocol, read defensively: a member of the wrong type
// or a missing one reads as the given default, never as an exception.
#include <nlohmann/json.hpp>
#include <string>

using Json = nlohmann::json;

// Parses text; a discarded value (is_discarded()) when it is not JSON.
Json ParseJson(const std::string& text);
// Serialises without throwing on invalid UTF-8 (bad bytes are replaced).
std::string DumpJson(const Json& value);

const Json& Member(const Json& object, const char* key);
std::string StringMember(const Json& object, const char* key, const std::string& fallback = "");
long long IntMember(const Json& object, const char* key, long long fallback = 0);
bool BoolMember(const Json& object, const char* key, bool fallback = false);

// UTF-8 <-> UTF-16 conversions of the engine interface.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::string WideToUtf8(const wchar_t* text);
