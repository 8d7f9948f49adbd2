#include "page/message_envelope.h"

#include "log/text_encoding.h"

bool ReadEnvelope(const std::string& bytes, MessageEnvelope* envelope) {
  if (bytes.empty()) return false;
  std::string text = bytes;
  if (text.find(kUtf8Marker) != std::string::npos) text = Utf8ToAnsi(bytes);
  JsonDocument document;
  if (!document.Parse(text, false)) return false;
  envelope->c = document.GetText("c");
  envelope->a = document.GetText("a");
  envelope->uid = document.GetText("uid");
  envelope->notme = document.GetBool("notme");
  envelope->data = document.GetDocument("data");
  return true;
}
