#include "tests/hpsocket/event_recorder.h"

EventRecorder& EventRecorder::Get() {
  static EventRecorder recorder;
  return recorder;
}

void EventRecorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
  on_receive = nullptr;
  on_connect = nullptr;
  on_close = nullptr;
}

void EventRecorder::Add(HpEvent event) {
  event.thread = ::GetCurrentThreadId();
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(std::move(event));
  changed_.notify_all();
}

std::vector<HpEvent> EventRecorder::Events() {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

size_t EventRecorder::Count(HpEvent::Kind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const HpEvent& e : events_) n += e.kind == kind;
  return n;
}

std::vector<std::string> EventRecorder::Received() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const HpEvent& e : events_)
    if (e.kind == HpEvent::kReceive) out.push_back(e.data);
  return out;
}

bool EventRecorder::WaitFor(HpEvent::Kind kind, size_t count, DWORD timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    size_t n = 0;
    for (const HpEvent& e : events_) n += e.kind == kind;
    return n >= count;
  });
}

bool EventRecorder::FirstClose(HpEvent* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const HpEvent& e : events_) {
    if (e.kind != HpEvent::kClose) continue;
    *out = e;
    return true;
  }
  return false;
}

En_HP_HandleResult __stdcall RecordPrepare(HP_Client sender, HP_CONNID id, UINT_PTR) {
  EventRecorder::Get().Add({HpEvent::kPrepare, sender, id, std::string()});
  return HP_HR_OK;
}

En_HP_HandleResult __stdcall RecordConnect(HP_Client sender, HP_CONNID id) {
  EventRecorder& r = EventRecorder::Get();
  r.Add({HpEvent::kConnect, sender, id, std::string()});
  return r.on_connect ? r.on_connect(sender) : HP_HR_OK;
}

En_HP_HandleResult __stdcall RecordReceive(HP_Client sender, HP_CONNID id, const BYTE* data,
                                           int length) {
  EventRecorder& r = EventRecorder::Get();
  std::string body(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
  r.Add({HpEvent::kReceive, sender, id, body});
  return r.on_receive ? r.on_receive(sender, body) : HP_HR_OK;
}

En_HP_HandleResult __stdcall RecordSend(HP_Client sender, HP_CONNID id, const BYTE* data,
                                        int length) {
  EventRecorder::Get().Add(
      {HpEvent::kSend, sender, id, std::string(reinterpret_cast<const char*>(data), length)});
  return HP_HR_OK;
}

En_HP_HandleResult __stdcall RecordClose(HP_Client sender, HP_CONNID id,
                                         En_HP_SocketOperation operation, int error) {
  EventRecorder& r = EventRecorder::Get();
  r.Add({HpEvent::kClose, sender, id, std::string(), operation, error});
  if (r.on_close) r.on_close(sender);
  return HP_HR_OK;
}

RecordedClient::RecordedClient() {
  const HpSocketApi& hp = HpSocket();
  listener = hp.Create_HP_TcpPackClientListener();
  hp.HP_Set_FN_Client_OnPrepareConnect(listener, RecordPrepare);
  hp.HP_Set_FN_Client_OnConnect(listener, RecordConnect);
  hp.HP_Set_FN_Client_OnReceive(listener, RecordReceive);
  hp.HP_Set_FN_Client_OnSend(listener, RecordSend);
  hp.HP_Set_FN_Client_OnClose(listener, RecordClose);
  client = hp.Create_HP_TcpPackClient(listener);
}

RecordedClient::~RecordedClient() {
  const HpSocketApi& hp = HpSocket();
  if (client) hp.Destroy_HP_TcpPackClient(client);
  hp.Destroy_HP_TcpPackClientListener(listener);
  EventRecorder::Get().Clear();
}
