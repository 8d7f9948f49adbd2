#pragma once
// Records what the library reports through its callbacks, for tests to wait
// on. The callbacks are plain standard-call functions, as the library
// requires; they write to one process-wide recorder.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ext/hpsocket_api.h"

struct HpEvent {
  enum Kind { kPrepare, kConnect, kReceive, kSend, kClose } kind;
  HP_Client sender;
  HP_CONNID id;
  std::string data;   // OnReceive / OnSend body
  int operation = 0;  // OnClose
  int error = 0;      // OnClose
  DWORD thread = 0;   // the thread the callback ran on
};

class EventRecorder {
 public:
  static EventRecorder& Get();

  void Clear();
  void Add(HpEvent event);
  std::vector<HpEvent> Events();
  size_t Count(HpEvent::Kind kind);
  std::vector<std::string> Received();
  // Waits until at least `count` events of `kind` were recorded.
  bool WaitFor(HpEvent::Kind kind, size_t count, DWORD timeout_ms = 5000);
  // The first close event, when one was recorded.
  bool FirstClose(HpEvent* out);

  // Optional actions run inside the callbacks, on the library's thread.
  std::function<En_HP_HandleResult(HP_Client, const std::string&)> on_receive;
  std::function<En_HP_HandleResult(HP_Client)> on_connect;
  std::function<void(HP_Client)> on_close;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<HpEvent> events_;
};

// Callbacks that record into EventRecorder::Get().
En_HP_HandleResult __stdcall RecordPrepare(HP_Client, HP_CONNID, UINT_PTR);
En_HP_HandleResult __stdcall RecordConnect(HP_Client, HP_CONNID);
En_HP_HandleResult __stdcall RecordReceive(HP_Client, HP_CONNID, const BYTE*, int);
En_HP_HandleResult __stdcall RecordSend(HP_Client, HP_CONNID, const BYTE*, int);
En_HP_HandleResult __stdcall RecordClose(HP_Client, HP_CONNID, En_HP_SocketOperation, int);

// A listener with all recording callbacks set, and one pack client on it.
struct RecordedClient {
  RecordedClient();
  ~RecordedClient();
  HP_TcpPackClientListener listener = nullptr;
  HP_TcpPackClient client = nullptr;
};
