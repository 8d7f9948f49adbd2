#include "tests/page_commands/fake_engine.h"

#include <cstdint>
#include <string>

#include "log/text_encoding.h"

namespace {

FakeEngine* g_engine = nullptr;
NodeApi g_table;
std::vector<std::wstring> g_texts;
std::wstring g_argument;
std::wstring g_origin;
// Tags of the values jsGetGlobal and jsGet give, so a test sees that the
// origin was read from the location object of the calling state.
constexpr uint32_t kLocationTag = 0x10C;
constexpr uint32_t kOriginTag = 0x0A1;
constexpr ReplyKind kObjectKind = static_cast<ReplyKind>(9);

jsValue Tagged(ReplyKind kind, uint32_t payload) {
  return static_cast<jsValue>((static_cast<uint64_t>(kind) << 32) | payload);
}

std::string Ansi(const wchar_t* text) { return WideToAnsi(text); }

std::wstring Wide(const std::string& text) {
  Bytes bytes = AnsiToWide(text);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2 - 1);
}

void FillTable() {
  g_table = NodeApi();
  g_table.jsUndefined = [] { return Tagged(ReplyKind::kUndefined, 0); };
  g_table.jsFalse = [] { return Tagged(ReplyKind::kBool, 0); };
  g_table.jsBoolean = [](bool value) { return Tagged(ReplyKind::kBool, value ? 1 : 0); };
  g_table.jsInt = [](int value) { return Tagged(ReplyKind::kInt, static_cast<uint32_t>(value)); };
  g_table.jsStringW = [](jsExecState, const wchar_t* text) {
    g_texts.push_back(text);
    return Tagged(ReplyKind::kText, static_cast<uint32_t>(g_texts.size() - 1));
  };
  g_table.jsArg = [](jsExecState, int) { return jsValue(0); };
  g_table.jsToTempStringW = [](jsExecState, jsValue value) {
    return value == Tagged(kObjectKind, kOriginTag) ? g_origin.c_str() : g_argument.c_str();
  };
  g_table.jsGetGlobal = [](jsExecState state, const char* name) {
    bool location =
        state == reinterpret_cast<jsExecState>(0x2000) && std::string(name) == "location";
    return location ? Tagged(kObjectKind, kLocationTag) : Tagged(ReplyKind::kUndefined, 0);
  };
  g_table.jsGet = [](jsExecState, jsValue object, const char* name) {
    bool origin = object == Tagged(kObjectKind, kLocationTag) && std::string(name) == "origin";
    return origin ? Tagged(kObjectKind, kOriginTag) : Tagged(ReplyKind::kUndefined, 0);
  };
  g_table.wkeGetStringW = [](wkeString text) { return static_cast<const wchar_t*>(text); };
  g_table.wkeMoveToCenter = [](wkeWebView) { ++g_engine->center_calls; };
  g_table.wkeRunJSW = [](wkeWebView, const wchar_t* script) {
    std::string text = Ansi(script);
    g_engine->scripts_run.push_back(text);
    if (g_engine->on_run) g_engine->on_run(text);
    return Tagged(ReplyKind::kUndefined, 0);
  };
  g_table.wkeIsInitialize = [] { return true; };
  g_table.wkeCreateWebView = [] { return reinterpret_cast<wkeWebView>(0x1000); };
}

}  // namespace

wkeString EngineString(const wchar_t* text) { return const_cast<wchar_t*>(text); }

FakeEngine::FakeEngine() {
  g_engine = this;
  FillTable();
  SetNodeApiForTest(&g_table);
}

FakeEngine::~FakeEngine() {
  SetNodeApiForTest(nullptr);
  g_engine = nullptr;
}

void FakeEngine::SetOriginFunctions(bool present) {
  if (present) {
    FillTable();
  } else {
    g_table.jsGetGlobal = nullptr;
    g_table.jsGet = nullptr;
  }
}

void FakeEngine::SetMainFrameUrl(const std::string& url) {
  main_frame_url = url;
  g_table.wkeGetURL = [](wkeWebView) { return g_engine->main_frame_url.c_str(); };
}

Reply FakeEngine::Call(jsValue (*handler)(jsExecState), const std::string& argument) {
  g_argument = Wide(argument);
  g_origin = Wide(caller_origin);
  jsValue value = handler(reinterpret_cast<jsExecState>(0x2000));
  Reply reply;
  reply.kind = static_cast<ReplyKind>(static_cast<uint64_t>(value) >> 32);
  uint32_t payload = static_cast<uint32_t>(value);
  reply.number = static_cast<int>(payload);
  if (reply.kind == ReplyKind::kText) reply.text = Ansi(g_texts[payload].c_str());
  return reply;
}
