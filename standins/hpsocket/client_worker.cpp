// The worker thread of one connection: connect, then read, deliver and write
// until the connection ends, then report the close and mark the client
// stopped. Every callback of the client runs here.
#include <climits>

#include "standins/hpsocket/tcp_pack_client.h"

namespace {

// Reads per turn before queued sends and stop requests get a look, so a peer
// that never pauses cannot starve them.
constexpr int kReadsPerTurn = 16;
constexpr long kNetworkEvents = FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE;

}  // namespace

DWORD WINAPI TcpPackClient::WorkerMain(void* self) {
  static_cast<TcpPackClient*>(self)->Run();
  return 0;
}

void TcpPackClient::Run() {
  CloseReason reason;
  if (!Connect(&reason)) {
    connect_error_ = reason.error;
    connect_ok_ = false;
    ::SetEvent(connect_done_.Get());
    // A synchronous Start reports the failure itself; only an asynchronous
    // one needs the close event to learn about it.
    Finish(reason, async_);
    return;
  }
  OnConnected();
  HP_FN_Client_OnConnect on_connect = listener_->on_connect;
  En_HP_HandleResult result = on_connect ? on_connect(this, connection_id_) : HP_HR_IGNORE;
  connect_ok_ = true;
  ::SetEvent(connect_done_.Get());
  if (result == HP_HR_ERROR) {
    Finish({HP_SO_CONNECT, ERROR_CANCELLED}, true);
    return;
  }
  Finish(Communicate(), true);
}

bool TcpPackClient::Connect(CloseReason* reason) {
  SOCKET s = socket_.Get();
  if (::WSAEventSelect(s, net_event_.Get(), kNetworkEvents) != 0) {
    *reason = {HP_SO_CONNECT, ::WSAGetLastError()};
    return false;
  }
  if (::connect(s, reinterpret_cast<const sockaddr*>(&remote_), sizeof(remote_)) == 0) return true;
  int error = ::WSAGetLastError();
  if (error != WSAEWOULDBLOCK) {
    *reason = {HP_SO_CONNECT, error};
    return false;
  }
  HANDLE events[2] = {net_event_.Get(), wake_.Get()};
  DWORD deadline = ::GetTickCount() + kConnectTimeoutMs;
  for (;;) {
    if (stop_requested_) {
      *reason = {HP_SO_CLOSE, 0};
      return false;
    }
    DWORD left = deadline - ::GetTickCount();
    if (static_cast<LONG>(left) <= 0) {
      *reason = {HP_SO_CONNECT, WSAETIMEDOUT};
      return false;
    }
    DWORD which = ::WaitForMultipleObjects(2, events, FALSE, left);
    if (which != WAIT_OBJECT_0) continue;  // wake, or time-out checked above
    WSANETWORKEVENTS happened;
    if (::WSAEnumNetworkEvents(s, net_event_.Get(), &happened) != 0) {
      *reason = {HP_SO_CONNECT, ::WSAGetLastError()};
      return false;
    }
    if ((happened.lNetworkEvents & FD_CONNECT) == 0) continue;
    error = happened.iErrorCode[FD_CONNECT_BIT];
    if (error == 0) return true;
    *reason = {HP_SO_CONNECT, error};
    return false;
  }
}

void TcpPackClient::OnConnected() {
  SOCKET s = socket_.Get();
  DisableNagle(s);
  ApplyKeepAlive(s, keep_alive_time, keep_alive_interval);
  sockaddr_in local = {};
  int size = sizeof(local);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &size);
  {
    std::lock_guard<std::mutex> lock(address_mutex_);
    local_address_ = AddressText(local);
    local_port_ = ::ntohs(local.sin_port);
  }
  close_error_ = 0;
  connected_ = true;
  state_ = HP_SS_STARTED;
}

CloseReason TcpPackClient::Communicate() {
  HANDLE events[2] = {net_event_.Get(), wake_.Get()};
  CloseReason reason;
  for (;;) {
    if (stop_requested_) return {HP_SO_CLOSE, 0};
    Io received = Io::kIdle;
    if (!paused_) received = ReceiveAvailable(&reason);
    if (received == Io::kFailed) return reason;
    if (stop_requested_) return {HP_SO_CLOSE, 0};
    if (!SendQueued(&reason)) return reason;
    if (received == Io::kBusy) continue;
    DWORD which = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0) {
      // Clears the socket's event; what happened is found out by reading and
      // writing, which also covers readiness that arrived meanwhile.
      WSANETWORKEVENTS happened = {};
      ::WSAEnumNetworkEvents(socket_.Get(), net_event_.Get(), &happened);
      // A connection broken under us (keep-alive found the peer gone) ends
      // with an error that the read which follows does not repeat.
      if ((happened.lNetworkEvents & FD_CLOSE) != 0 && happened.iErrorCode[FD_CLOSE_BIT] != 0)
        close_error_ = happened.iErrorCode[FD_CLOSE_BIT];
    } else if (which != WAIT_OBJECT_0 + 1) {
      return {HP_SO_UNKNOWN, static_cast<int>(::GetLastError())};
    }
  }
}

TcpPackClient::Io TcpPackClient::ReceiveAvailable(CloseReason* reason) {
  // Bodies left over from a pause are delivered before anything new is read.
  Io delivered = DeliverBuffered(reason);
  if (delivered != Io::kBusy) return delivered;
  for (int turn = 0; turn < kReadsPerTurn; ++turn) {
    int got = ::recv(socket_.Get(), reinterpret_cast<char*>(chunk_.data()),
                     static_cast<int>(chunk_.size()), 0);
    if (got == 0) {
      // The peer closed in order, unless the connection was broken.
      *reason = close_error_ != 0 ? CloseReason{HP_SO_RECEIVE, close_error_}
                                  : CloseReason{HP_SO_CLOSE, 0};
      return Io::kFailed;
    }
    if (got < 0) {
      int error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return Io::kIdle;
      *reason = {HP_SO_RECEIVE, error};
      return Io::kFailed;
    }
    decoder_.Feed(chunk_.data(), static_cast<size_t>(got));
    delivered = DeliverBuffered(reason);
    if (delivered != Io::kBusy) return delivered;
  }
  return Io::kBusy;
}

// Hands every whole body in the decoder to OnReceive. kBusy means "all
// delivered, go on reading"; kIdle means a pause or a stop cut delivery short.
TcpPackClient::Io TcpPackClient::DeliverBuffered(CloseReason* reason) {
  for (;;) {
    if (stop_requested_ || paused_) return Io::kIdle;
    const uint8_t* body = nullptr;
    size_t length = 0;
    pack::FrameDecoder::Status status = decoder_.Next(&body, &length);
    if (status == pack::FrameDecoder::Status::kNeedMore) return Io::kBusy;
    if (status == pack::FrameDecoder::Status::kError) {
      *reason = {HP_SO_RECEIVE, decoder_.error()};
      return Io::kFailed;
    }
    HP_FN_Client_OnReceive on_receive = listener_->on_receive;
    if (on_receive != nullptr &&
        on_receive(this, connection_id_, body, static_cast<int>(length)) == HP_HR_ERROR) {
      *reason = {HP_SO_RECEIVE, ERROR_CANCELLED};
      return Io::kFailed;
    }
  }
}

bool TcpPackClient::SendQueued(CloseReason* reason) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  while (!stop_requested_ && send_queue_.Front(&data, &size)) {
    int piece = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    int sent = ::send(socket_.Get(), reinterpret_cast<const char*>(data), piece, 0);
    if (sent < 0) {
      int error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return true;  // FD_WRITE wakes us when there is room
      *reason = {HP_SO_SEND, error};
      return false;
    }
    std::vector<uint8_t> finished;
    if (!send_queue_.Consume(static_cast<size_t>(sent), &finished)) continue;
    HP_FN_Client_OnSend on_send = listener_->on_send;
    if (on_send != nullptr) {
      on_send(this, connection_id_, finished.data() + pack::kHeaderSize,
              static_cast<int>(finished.size() - pack::kHeaderSize));
    }
  }
  return true;
}

void TcpPackClient::Finish(const CloseReason& reason, bool report) {
  state_ = HP_SS_STOPPING;
  connected_ = false;
  socket_.Close();
  send_queue_.Clear();
  decoder_.Reset();
  if (report) {
    HP_FN_Client_OnClose on_close = listener_->on_close;
    if (on_close != nullptr) on_close(this, connection_id_, reason.operation, reason.error);
  }
  paused_ = false;
  bool destroy = destroy_when_done_;
  // Last write of the worker: from here on another thread may restart the
  // client, so nothing below touches the connection.
  state_ = HP_SS_STOPPED;
  if (destroy) {
    // Destroy() came from one of this client's callbacks; nobody else will
    // join this thread, so the worker releases its own handle and the client.
    ::CloseHandle(worker_.Take());
    worker_id_ = 0;
    delete this;
  }
}
