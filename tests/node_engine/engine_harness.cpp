#include "tests/node_engine/engine_harness.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/loopback_socket.h"

namespace engine_test {
namespace {

constexpr int kViewWidth = 400;
constexpr int kViewHeight = 300;
constexpr DWORD kServerStartMs = 15000;

int g_port = 0;
int g_other_port = 0;
Recorder* g_recorder = nullptr;  // the running test's recorder, for the bound function

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

void __cdecl OnPaint(wkeWebView, void* param, HDC dc, int x, int y, int cx, int cy) {
  auto* recorder = static_cast<Recorder*>(param);
  recorder->paints.push_back({dc, x, y, cx, cy});
  recorder->callback_threads.push_back(::GetCurrentThreadId());
}

void __cdecl OnLoaded(wkeWebView, void* param, wkeString url, int result, wkeString reason) {
  auto* recorder = static_cast<Recorder*>(param);
  recorder->loads.push_back(
      {Text(Engine().wkeGetStringW(url)), result, Text(Engine().wkeGetStringW(reason))});
  recorder->callback_threads.push_back(::GetCurrentThreadId());
}

void __cdecl OnConsole(wkeWebView view, void* param, int level, wkeString message, wkeString source,
                       unsigned line, wkeString stack) {
  auto* recorder = static_cast<Recorder*>(param);
  recorder->consoles.push_back({level, Text(Engine().wkeGetStringW(message)),
                                Text(Engine().wkeGetStringW(source)), line,
                                Text(Engine().wkeGetStringW(stack))});
  recorder->callback_threads.push_back(::GetCurrentThreadId());
  if (!recorder->run_on_console.empty()) Engine().wkeRunJSW(view, recorder->run_on_console.c_str());
}

// The page's serverJS: records its argument and answers according to it.
jsValue __cdecl ServerJs(jsExecState state, void* param) {
  EngineApi& api = Engine();
  Recorder* recorder = g_recorder;
  std::wstring argument = Text(api.jsToTempStringW(state, api.jsArg(state, 0)));
  if (recorder == nullptr) return api.jsUndefined();
  recorder->bound_arguments.push_back(argument);
  recorder->callback_threads.push_back(::GetCurrentThreadId());
  if (argument == L"int") return api.jsInt(42);
  if (argument == L"true") return api.jsBoolean(0xFFFFFF01u);  // only the low byte counts
  if (argument == L"low-zero") return api.jsBoolean(0x100u);
  if (argument == L"false") return api.jsFalse();
  if (argument == L"undef") return api.jsUndefined();
  if (argument == L"second") return api.jsArg(state, 1);
  if (argument == L"origin") {
    // Who calls: location.origin of the calling document's own global.
    jsValue location = api.jsGetGlobal(state, "location");
    std::wstring origin = Text(api.jsToTempStringW(state, api.jsGet(state, location, "origin")));
    recorder->caller_origins.push_back(origin);
    recorder->caller_views.push_back(api.jsGetWebView(state));
    return api.jsStringW(state, origin.c_str());
  }
  if (argument.rfind(L"run:", 0) == 0) return api.wkeRunJSW(recorder->view, argument.c_str() + 4);
  return api.jsStringW(state, (L"\u56de\u590d:" + argument).c_str());
}

std::wstring UnixToWine(const std::string& path) {
  std::wstring wide = L"Z:";
  for (char c : path) wide.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return wide;
}

bool StartServer() {
  char port_file[64];
  std::snprintf(port_file, sizeof(port_file), "/tmp/node_engine_test_%lu.port",
                static_cast<unsigned long>(::GetCurrentProcessId()));
  std::wstring local_port_file = UnixToWine(port_file);
  ::DeleteFileW(local_port_file.c_str());
  std::string command =
      std::string("/usr/bin/python3 ") + NODE_TEST_DIR + "/test_server.py " + port_file;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    std::fprintf(stderr, "cannot start the test server: %lu\n", ::GetLastError());
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < kServerStartMs) {
    std::ifstream in(local_port_file.c_str());
    if (in >> g_port >> g_other_port && g_port > 0 && g_other_port > 0) return true;
    ::Sleep(50);
  }
  return false;
}

// GET on the test server with a plain socket, for /quit.
void SendQuit() {
  SOCKET s = ConnectToLoopback(g_port);
  if (s == INVALID_SOCKET) return;
  if (SendAll(s, "GET /quit HTTP/1.0\r\n\r\n")) {
    char buffer[256];
    while (::recv(s, buffer, sizeof(buffer), 0) > 0) {
    }
  }
  CloseSocket(s);
}

}  // namespace

bool EngineApi::Load() {
  wchar_t path[MAX_PATH];
  DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
  module = ::LoadLibraryW((folder + L"node.dll").c_str());
  if (module == nullptr) return false;
  bool complete = true;
#define ENGINE_FIND(name, type)                                                                   \
  name = reinterpret_cast<name##_type>(reinterpret_cast<void*>(::GetProcAddress(module, #name))); \
  complete = complete && name != nullptr;
  ENGINE_FUNCTIONS(ENGINE_FIND)
#undef ENGINE_FIND
  return complete;
}

EngineApi& Engine() {
  static EngineApi api;
  return api;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  DWORD start = ::GetTickCount();
  while (!done()) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) break;
    if (::GetTickCount() - start > timeout_ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

std::wstring ServerUrl(const std::wstring& path) {
  return L"http://127.0.0.1:" + std::to_wstring(g_port) + path;
}

std::wstring OtherServerUrl(const std::wstring& path) {
  return L"http://127.0.0.1:" + std::to_wstring(g_other_port) + path;
}

std::string ServerUrlA(const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(g_port) + path;
}

void EngineTest::SetUpTestSuite() {
  if (Engine().module == nullptr) {
    ASSERT_TRUE(Engine().Load()) << "node.dll or a function missing";
  }
  if (g_port == 0) {
    ASSERT_TRUE(StartServer()) << "test server did not start";
  }
}

void EngineTest::TearDownTestSuite() {}

void EngineTest::SetUp() {
  ASSERT_NE(api.module, nullptr);
  ASSERT_NE(g_port, 0);
  api.wkeInitializeEx(nullptr);
  view_ = api.wkeCreateWebView();
  ASSERT_NE(view_, nullptr);
  recorder_.view = view_;
  g_recorder = &recorder_;
  api.wkeJsBindFunction("serverJS", &ServerJs, nullptr, 1);
  api.wkeOnPaintUpdated(view_, &OnPaint, &recorder_);
  api.wkeOnLoadingFinish(view_, &OnLoaded, &recorder_);
  api.wkeOnConsole(view_, &OnConsole, &recorder_);
  api.wkeResize(view_, kViewWidth, kViewHeight);
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  storage_folder_ = std::wstring(temp) + L"node_engine_" +
                    std::to_wstring(::GetCurrentProcessId()) + L"_" +
                    std::to_wstring(::GetTickCount());
  api.wkeSetLocalStorageFullPath(view_, storage_folder_.c_str());
}

void EngineTest::TearDown() {
  if (view_ != nullptr) api.wkeDestroyWebView(view_);
  g_recorder = nullptr;
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((storage_folder_ + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      ::DeleteFileW((storage_folder_ + L"\\" + found.cFileName).c_str());
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(storage_folder_.c_str());
}

bool EngineTest::LoadAndWait(const std::wstring& url, DWORD timeout_ms) {
  size_t before = recorder_.loads.size();
  api.wkeLoadW(view_, url.c_str());
  return PumpUntil([&] { return recorder_.loads.size() > before; }, timeout_ms);
}

std::wstring EngineTest::Run(const std::wstring& script) {
  jsValue value = api.wkeRunJSW(view_, script.c_str());
  return Text(api.jsToTempStringW(api.wkeGlobalExec(view_), value));
}

int EngineTest::RunInt(const std::wstring& script) {
  return api.jsToInt(api.wkeGlobalExec(view_), api.wkeRunJSW(view_, script.c_str()));
}

bool EngineTest::HasConsole(int level, const std::wstring& part) const {
  for (const ConsoleEvent& event : recorder_.consoles) {
    if (event.level == level && event.message.find(part) != std::wstring::npos) return true;
  }
  return false;
}

// Stops the server once every test has run.
class ServerStopper : public ::testing::Environment {
 public:
  void TearDown() override {
    if (g_port != 0) SendQuit();
  }
};
const auto* const kStopper = ::testing::AddGlobalTestEnvironment(new ServerStopper);

}  // namespace engine_test
