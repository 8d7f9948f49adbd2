#pragma once
// The JSON envelope of every message from the page ("serverJS") and from the
// server: {"c": group or channel, "a": action, "uid", "notme", "data": {...}}.
#include <string>

#include "util/json_document.h"

struct MessageEnvelope {
  std::string c;
  std::string a;
  std::string uid;
  bool notme = false;
  JsonDocument data;
};

// Marker of a message sent as UTF-8; any other message is code page 936.
inline constexpr char kUtf8Marker[] = "\"char\":\"utf-8\"";

// Parses message bytes into the envelope; false for empty or non-JSON input.
bool ReadEnvelope(const std::string& bytes, MessageEnvelope* envelope);
