#include "standins/hpsocket/tcp_pack_client.h"

#include <climits>
#include <cstring>

namespace {

// Each client needs Winsock; the counted start-up keeps it alive exactly as
// long as some client exists, without work in DllMain.
bool StartWinsock() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

HP_CONNID NextConnectionId() {
  static std::atomic<HP_CONNID> last{0};
  return ++last;
}

bool ReadWholeFile(const char* path, size_t limit, std::string* out, DWORD* error) {
  ScopedKernelHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    *error = ::GetLastError();
    return false;
  }
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > static_cast<LONGLONG>(limit)) {
    *error = ERROR_BAD_LENGTH;
    return false;
  }
  out->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!out->empty() &&
      (!::ReadFile(file.Get(), &(*out)[0], static_cast<DWORD>(out->size()), &read, nullptr) ||
       read != out->size())) {
    *error = ERROR_READ_FAULT;
    return false;
  }
  return true;
}

}  // namespace

TcpPackClient::TcpPackClient(ClientListener* listener, bool secure)
    : listener_(listener), secure_(secure) {
  winsock_ready_ = StartWinsock();
  wake_.Set(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  connect_done_.Set(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  net_event_.Set(::WSACreateEvent());
}

TcpPackClient::~TcpPackClient() {
  if (!OnWorkerThread()) JoinWorker();
  socket_.Close();
  net_event_.Close();
  if (winsock_ready_) ::WSACleanup();
}

void TcpPackClient::Destroy() {
  if (OnWorkerThread()) {
    // The worker is inside a callback of this client: let it unwind first.
    destroy_when_done_ = true;
    RequestStop();
    return;
  }
  Stop();
  delete this;
}

BOOL TcpPackClient::Fail(En_HP_SocketError error, DWORD windows_error) {
  last_error_ = error;
  ::SetLastError(windows_error);
  return FALSE;
}

BOOL TcpPackClient::Start(const char* address, USHORT port, BOOL async, const char* bind_address,
                          USHORT local_port) {
  std::lock_guard<std::mutex> lock(lifecycle_);
  if (state_ != HP_SS_STOPPED) return Fail(HP_SE_ILLEGAL_STATE, ERROR_INVALID_STATE);
  JoinWorker();  // a connection that ended by itself leaves its finished worker
  if (secure_) return Fail(HP_SE_SSL_ENV_NOT_READY, ERROR_NOT_SUPPORTED);
  if (!winsock_ready_ || !wake_.IsValid() || !connect_done_.IsValid() || !net_event_.IsValid())
    return Fail(HP_SE_SOCKET_CREATE, ERROR_NOT_READY);
  if (!pack::IsValidSetting(max_pack_size, pack_header_flag) || socket_buffer_size == 0)
    return Fail(HP_SE_INVALID_PARAM, ERROR_INVALID_PARAMETER);
  sockaddr_in remote;
  if (!ResolveIPv4(address, port, &remote))
    return Fail(HP_SE_INVALID_PARAM, ERROR_INVALID_PARAMETER);

  state_ = HP_SS_STARTING;
  stop_requested_ = false;
  paused_ = false;
  connection_id_ = NextConnectionId();
  if (!PrepareSocket(bind_address, local_port)) {
    state_ = HP_SS_STOPPED;
    return FALSE;
  }
  remote_ = remote;
  async_ = async != FALSE;
  {
    std::lock_guard<std::mutex> address_lock(address_mutex_);
    remote_host_ = address;
    remote_port_ = port;
  }
  decoder_ = pack::FrameDecoder(max_pack_size, pack_header_flag);
  chunk_.resize(socket_buffer_size);
  send_queue_.Clear();
  ::ResetEvent(connect_done_.Get());
  if (!LaunchWorker()) {
    socket_.Close();
    state_ = HP_SS_STOPPED;
    return Fail(HP_SE_WORKER_THREAD_CREATE, ::GetLastError());
  }
  if (async_) return TRUE;

  ::WaitForSingleObject(connect_done_.Get(), INFINITE);
  if (connect_ok_) return TRUE;
  // The worker has no callback left to run on a failed synchronous connect,
  // so waiting for it is quick and leaves the client visibly stopped.
  JoinWorker();
  return Fail(HP_SE_CONNECT_SERVER, static_cast<DWORD>(connect_error_.load()));
}

bool TcpPackClient::PrepareSocket(const char* bind_address, USHORT local_port) {
  socket_.Set(::WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED));
  if (!socket_.IsValid()) return Fail(HP_SE_SOCKET_CREATE, ::WSAGetLastError());
  // The handle must not leak into child processes, or a till program it
  // starts would keep the server connection open after we closed it.
  ::SetHandleInformation(reinterpret_cast<HANDLE>(socket_.Get()), HANDLE_FLAG_INHERIT, 0);
  bool has_bind = (bind_address != nullptr && bind_address[0] != '\0') || local_port != 0;
  if (has_bind) {
    sockaddr_in local;
    const char* host =
        (bind_address != nullptr && bind_address[0] != '\0') ? bind_address : "0.0.0.0";
    if (!ResolveIPv4(host, local_port, &local) ||
        ::bind(socket_.Get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
      DWORD error = ::WSAGetLastError();
      socket_.Close();
      return Fail(HP_SE_SOCKET_BIND, error);
    }
  }
  HP_FN_Client_OnPrepareConnect prepare = listener_->on_prepare_connect;
  if (prepare != nullptr &&
      prepare(this, connection_id_, static_cast<UINT_PTR>(socket_.Get())) == HP_HR_ERROR) {
    socket_.Close();
    return Fail(HP_SE_SOCKET_PREPARE, ERROR_CANCELLED);
  }
  return true;
}

bool TcpPackClient::LaunchWorker() {
  DWORD id = 0;
  // Suspended until its id is known, so Stop() from its first callback
  // already recognises the worker thread.
  worker_.Set(::CreateThread(nullptr, 0, &TcpPackClient::WorkerMain, this, CREATE_SUSPENDED, &id));
  if (!worker_.IsValid()) return false;
  worker_id_ = id;
  ::ResumeThread(worker_.Get());
  return true;
}

BOOL TcpPackClient::Stop() {
  if (OnWorkerThread()) {
    // Inside a callback: the worker closes the connection once it returns.
    if (state_ != HP_SS_STARTING && state_ != HP_SS_STARTED)
      return Fail(HP_SE_ILLEGAL_STATE, ERROR_INVALID_STATE);
    RequestStop();
    return TRUE;
  }
  // Read before asking: once asked, the worker may finish at any moment.
  bool running = state_ == HP_SS_STARTING || state_ == HP_SS_STARTED;
  // Asked before taking the lock, so a synchronous Start that holds it while
  // connecting gives up at once instead of finishing its attempt.
  RequestStop();
  std::lock_guard<std::mutex> lock(lifecycle_);
  RequestStop();
  JoinWorker();
  if (!running) return Fail(HP_SE_ILLEGAL_STATE, ERROR_INVALID_STATE);
  return TRUE;
}

void TcpPackClient::RequestStop() {
  stop_requested_ = true;
  if (wake_.IsValid()) ::SetEvent(wake_.Get());
}

void TcpPackClient::JoinWorker() {
  if (!worker_.IsValid()) return;
  ::WaitForSingleObject(worker_.Get(), INFINITE);
  worker_.Close();
  worker_id_ = 0;
}

bool TcpPackClient::OnWorkerThread() const {
  DWORD id = worker_id_;
  return id != 0 && id == ::GetCurrentThreadId();
}

BOOL TcpPackClient::Send(const WSABUF* buffers, int count) {
  if (buffers == nullptr || count <= 0) return Fail(HP_SE_INVALID_PARAM, ERROR_INVALID_PARAMETER);
  return QueueFrame(buffers, count, 0, std::string()) ? TRUE : FALSE;
}

BOOL TcpPackClient::SendSmallFile(const char* file, const WSABUF* head, const WSABUF* tail) {
  if (file == nullptr) return Fail(HP_SE_INVALID_PARAM, ERROR_INVALID_PARAMETER);
  std::string content;
  DWORD error = 0;
  if (!ReadWholeFile(file, max_pack_size, &content, &error)) {
    ::SetLastError(error);
    return FALSE;
  }
  WSABUF parts[2] = {};
  if (head != nullptr) parts[0] = *head;
  if (tail != nullptr) parts[1] = *tail;
  // The file goes between head and tail: QueueFrame inserts `middle` after
  // the first buffer.
  return QueueFrame(parts, 2, content.size(), content) ? TRUE : FALSE;
}

bool TcpPackClient::QueueFrame(const WSABUF* buffers, int count, size_t extra_bytes,
                               const std::string& middle) {
  if (!connected_) {
    ::SetLastError(ERROR_INVALID_STATE);
    return false;
  }
  size_t total = extra_bytes;
  for (int i = 0; i < count; ++i) {
    if (buffers[i].len > 0 && buffers[i].buf == nullptr) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    total += buffers[i].len;
    if (total > pack::kLengthMask) break;  // no overflow, and already too long
  }
  DWORD limit = max_pack_size;
  if (!pack::IsValidBodyLength(total, limit)) {
    ::SetLastError(ERROR_BAD_LENGTH);
    return false;
  }
  std::vector<uint8_t> frame(pack::kHeaderSize + total);
  pack::WriteHeader(static_cast<uint32_t>(total), pack_header_flag, frame.data());
  size_t at = pack::kHeaderSize;
  for (int i = 0; i < count; ++i) {
    if (buffers[i].len > 0) std::memcpy(&frame[at], buffers[i].buf, buffers[i].len);
    at += buffers[i].len;
    if (i == 0 && !middle.empty()) {
      std::memcpy(&frame[at], middle.data(), middle.size());
      at += middle.size();
    }
  }
  send_queue_.Push(std::move(frame));
  ::SetEvent(wake_.Get());
  return true;
}

BOOL TcpPackClient::PauseReceive(BOOL pause) {
  if (!connected_) return Fail(HP_SE_ILLEGAL_STATE, ERROR_INVALID_STATE);
  paused_ = pause != FALSE;
  ::SetEvent(wake_.Get());
  return TRUE;
}

BOOL TcpPackClient::GetLocalAddress(char* buf, int* length, USHORT* port) {
  if (!connected_) return Fail(HP_SE_ILLEGAL_STATE, ERROR_INVALID_STATE);
  std::lock_guard<std::mutex> lock(address_mutex_);
  if (port != nullptr) *port = local_port_;
  return CopyTextOut(local_address_, buf, length) ? TRUE : FALSE;
}

BOOL TcpPackClient::GetRemoteHost(char* buf, int* length, USHORT* port) {
  if (state_ == HP_SS_STOPPED) return Fail(HP_SE_ILLEGAL_STATE, ERROR_INVALID_STATE);
  std::lock_guard<std::mutex> lock(address_mutex_);
  if (port != nullptr) *port = remote_port_;
  return CopyTextOut(remote_host_, buf, length) ? TRUE : FALSE;
}
