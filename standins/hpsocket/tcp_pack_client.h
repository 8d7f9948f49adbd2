#pragma once
// One pack-mode TCP client of the library: a socket, the worker thread that
// connects it and carries its traffic, and the queue of frames to send.
//
// Callbacks (from the listener the client was created with) run on the
// worker thread only. Stop() may be called from any thread, a callback
// included; from a callback it only asks the worker to close and returns.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "standins/hpsocket/hp_types.h"
#include "standins/hpsocket/pack_frame.h"
#include "standins/hpsocket/send_queue.h"
#include "standins/hpsocket/socket_ops.h"

// A connect attempt that has neither succeeded nor failed after this long is
// abandoned, so a synchronous Start always returns within a bounded time.
inline constexpr DWORD kConnectTimeoutMs = 5000;
// Size of one read from the socket unless configured otherwise.
inline constexpr DWORD kDefaultSocketBufferSize = 16 * 1024;
// Keep-alive probes start after a minute of silence, then every 20 s.
inline constexpr DWORD kDefaultKeepAliveTimeMs = 60 * 1000;
inline constexpr DWORD kDefaultKeepAliveIntervalMs = 20 * 1000;
// Kept and reported for callers that tune them; this client allocates per
// connection and has no pool to size.
inline constexpr DWORD kDefaultFreeBufferPoolSize = 60;
inline constexpr DWORD kDefaultFreeBufferPoolHold = 60 * 3;

// Why a connection ended, as OnClose reports it.
struct CloseReason {
  En_HP_SocketOperation operation = HP_SO_CLOSE;
  int error = 0;
};

class TcpPackClient {
 public:
  TcpPackClient(ClientListener* listener, bool secure);
  TcpPackClient(const TcpPackClient&) = delete;
  TcpPackClient& operator=(const TcpPackClient&) = delete;

  // Stops and frees the client. From one of its own callbacks the client is
  // freed by its worker as soon as that callback has returned.
  void Destroy();

  BOOL Start(const char* address, USHORT port, BOOL async, const char* bind_address,
             USHORT local_port);
  BOOL Stop();
  // Queues the buffers as one pack; never waits for the network.
  BOOL Send(const WSABUF* buffers, int count);
  BOOL SendSmallFile(const char* file, const WSABUF* head, const WSABUF* tail);
  BOOL PauseReceive(BOOL pause);

  En_HP_ServiceState state() const { return static_cast<En_HP_ServiceState>(state_.load()); }
  bool connected() const { return connected_; }
  bool paused() const { return paused_; }
  bool secure() const { return secure_; }
  En_HP_SocketError last_error() const {
    return static_cast<En_HP_SocketError>(last_error_.load());
  }
  HP_CONNID connection_id() const { return connection_id_; }
  size_t pending_bytes() const { return send_queue_.PendingBytes(); }
  BOOL GetLocalAddress(char* buf, int* length, USHORT* port);
  BOOL GetRemoteHost(char* buf, int* length, USHORT* port);

  // Settings, read when a connection starts.
  std::atomic<DWORD> max_pack_size{pack::kDefaultMaxPackSize};
  std::atomic<USHORT> pack_header_flag{0};
  std::atomic<DWORD> socket_buffer_size{kDefaultSocketBufferSize};
  std::atomic<DWORD> keep_alive_time{kDefaultKeepAliveTimeMs};
  std::atomic<DWORD> keep_alive_interval{kDefaultKeepAliveIntervalMs};
  std::atomic<DWORD> free_buffer_pool_size{kDefaultFreeBufferPoolSize};
  std::atomic<DWORD> free_buffer_pool_hold{kDefaultFreeBufferPoolHold};
  std::atomic<void*> extra{nullptr};

 private:
  ~TcpPackClient();

  // Lifecycle helpers (tcp_pack_client.cpp).
  BOOL Fail(En_HP_SocketError error, DWORD windows_error);
  bool PrepareSocket(const char* bind_address, USHORT local_port);
  bool LaunchWorker();
  void RequestStop();
  void JoinWorker();
  bool OnWorkerThread() const;
  bool QueueFrame(const WSABUF* buffers, int count, size_t extra_bytes, const std::string& middle);

  // Worker thread (client_worker.cpp).
  static DWORD WINAPI WorkerMain(void* self);
  void Run();
  bool Connect(CloseReason* reason);
  void OnConnected();
  CloseReason Communicate();
  enum class Io { kIdle, kBusy, kFailed };
  Io ReceiveAvailable(CloseReason* reason);
  Io DeliverBuffered(CloseReason* reason);
  bool SendQueued(CloseReason* reason);
  void Finish(const CloseReason& reason, bool report);

  ClientListener* listener_;
  const bool secure_;
  bool winsock_ready_ = false;

  std::mutex lifecycle_;  // serialises Start and Stop; never taken by the worker
  std::atomic<int> state_{HP_SS_STOPPED};
  std::atomic<int> last_error_{HP_SE_OK};
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> connected_{false};
  // The error the system gave with the close event of this connection; the
  // worker thread's alone.
  int close_error_ = 0;
  std::atomic<bool> paused_{false};
  std::atomic<bool> destroy_when_done_{false};
  std::atomic<HP_CONNID> connection_id_{0};
  std::atomic<DWORD> worker_id_{0};

  // Set by Start before the worker starts, then owned by the worker.
  ScopedSocket socket_;
  ScopedKernelHandle worker_;
  sockaddr_in remote_ = {};
  bool async_ = false;
  std::vector<uint8_t> chunk_;
  pack::FrameDecoder decoder_{pack::kDefaultMaxPackSize, 0};

  ScopedKernelHandle wake_;          // auto-reset: work queued, pause changed, stop asked
  ScopedKernelHandle connect_done_;  // manual-reset: the connect attempt has ended
  ScopedWsaEvent net_event_;         // socket readiness
  std::atomic<bool> connect_ok_{false};
  std::atomic<int> connect_error_{0};
  SendQueue send_queue_;

  std::mutex address_mutex_;  // the address texts below, read from any thread
  std::string remote_host_;
  USHORT remote_port_ = 0;
  std::string local_address_;
  USHORT local_port_ = 0;
};
