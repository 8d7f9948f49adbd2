#pragma once
// What the engine tests share: the test HTTP server, one view per test with
// every event recorded, and a message pump with time-outs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/node_engine/engine_api.h"

namespace engine_test {

struct LoadEvent {
  std::wstring url;
  int result;
  std::wstring reason;
};

struct ConsoleEvent {
  int level;
  std::wstring message;
  std::wstring source;
  unsigned line;
  std::wstring stack;
};

struct PaintEvent {
  HDC dc;
  int x, y, cx, cy;
};

// Everything a view reported; also what the bound test function saw.
struct Recorder {
  std::vector<LoadEvent> loads;
  std::vector<ConsoleEvent> consoles;
  std::vector<PaintEvent> paints;
  std::vector<std::wstring> bound_arguments;
  std::vector<DWORD> callback_threads;
  wkeWebView view = nullptr;
  // Script the console handler runs in the page, to test nesting.
  std::wstring run_on_console;
  // What the bound test function read through jsGetGlobal/jsGet for the
  // argument "origin", with the view jsGetWebView named.
  std::vector<std::wstring> caller_origins;
  std::vector<wkeWebView> caller_views;
};

// The server's second port: another origin serving the same pages.
std::wstring OtherServerUrl(const std::wstring& path);

// Runs the thread's messages until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
// Runs the thread's messages for a while.
void PumpFor(DWORD milliseconds);

// The server's base URL, "http://127.0.0.1:<port>" (wide and narrow).
std::wstring ServerUrl(const std::wstring& path);
std::string ServerUrlA(const std::string& path);

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Loads `path` of the test server and waits for loading finished.
  bool LoadAndWait(const std::wstring& url, DWORD timeout_ms = 10000);
  // wkeRunJSW and the value as text.
  std::wstring Run(const std::wstring& script);
  int RunInt(const std::wstring& script);
  bool HasConsole(int level, const std::wstring& part) const;

  EngineApi& api = Engine();
  wkeWebView view_ = nullptr;
  Recorder recorder_;
  std::wstring storage_folder_;
};

}  // namespace engine_test
