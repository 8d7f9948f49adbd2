// Feeds arbitrary bytes to JsonDocument::Parse and checks what it produces:
// whatever parses must serialise to text that parses again, and a second
// round must give the same text (the first may normalise line breaks and
// characters outside code page 936). The first byte selects the options.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "util/json_document.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ExerciseGetters(JsonDocument& document) {
  for (const char* path : {"", "c", "a", "data", "data.items[0].name", "[0]", "[1][0]", "a.b"}) {
    document.GetText(path);
    document.GetBool(path);
    document.GetInt64(path);
    document.GetType(path);
  }
  JsonDocument copy = document;
  JsonDocument data = copy.GetDocument("data");
  data.ToText("", true);
  if (copy.SetText("x.y[2]", "v")) Check(copy.GetText("x.y[2]") == "v");
}

// The 8-bit text path; a decoded \u0000 would cut the text short, so the
// wide path stands in for it when escapes are decoded.
void CheckRoundTrip(const JsonDocument& document, bool pretty) {
  std::string first = document.ToText("", pretty);
  JsonDocument again;
  Check(again.Parse(first));
  std::string second = again.ToText();
  JsonDocument third;
  Check(third.Parse(second));
  Check(third.ToText() == second);
}

void CheckWideRoundTrip(const JsonDocument& document, bool pretty) {
  std::u16string first = document.ToWideText("", pretty);
  JsonDocument again;
  Check(again.Parse(first));
  std::u16string second = again.ToWideText();
  JsonDocument third;
  Check(third.Parse(second));
  Check(third.ToWideText() == second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool decode_unicode = (data[0] & 1) != 0;
  bool pretty = (data[0] & 2) != 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  JsonDocument document;
  int code = 0, position = 0;
  if (!document.Parse(text, decode_unicode, &code, &position)) {
    Check(code <= -2 && code >= -6 && position >= 0);
    Check(document.ToText() == "{}");
    return 0;
  }
  Check(code == 0);
  if (decode_unicode) {
    CheckWideRoundTrip(document, pretty);
  } else {
    CheckRoundTrip(document, pretty);
  }
  ExerciseGetters(document);
  return 0;
}
