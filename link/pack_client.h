#pragma once
// PackClient: the program's owner of the TCP library's listener, and thin
// calls through to its pack-mode clients. The library frames every message,
// so callers send and receive whole messages.
//
// The client handle is not kept here: Create returns it, the caller keeps it
// and passes it to every later call. A handle of 0 or kNoListener makes every
// call a no-op that reports failure.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <string>

#include "ext/hpsocket_api.h"

// What Create returns when the library gave no listener.
inline HP_Client NoListenerClient() { return reinterpret_cast<HP_Client>(-1); }

class PackClient {
 public:
  PackClient() = default;
  // The listener is deliberately not destroyed: clients made from it may
  // still run callbacks during process exit, and they read the listener.
  ~PackClient() = default;
  PackClient(const PackClient&) = delete;
  PackClient& operator=(const PackClient&) = delete;

  // A new client (a secure one when `ssl`); NoListenerClient() when the
  // listener cannot be created, 0 when the client cannot.
  HP_Client Create(bool ssl);
  // Frees the client; nothing for 0.
  void Destroy(HP_Client client, bool ssl);

  // Callbacks for every client of this object; true when a listener exists.
  bool SetOnConnect(HP_FN_Client_OnConnect fn);
  bool SetOnReceive(HP_FN_Client_OnReceive fn);
  bool SetOnClose(HP_FN_Client_OnClose fn);
  bool SetOnPrepareConnect(HP_FN_Client_OnPrepareConnect fn);
  bool SetOnHandShake(HP_FN_Client_OnHandShake fn);
  bool SetOnSend(HP_FN_Client_OnSend fn);

  // With async false, returns when the connect attempt has ended.
  bool Start(HP_Client client, const char* host, USHORT port, bool async);
  // The same from the local address "0.0.0.0" (and a chosen local port).
  bool StartWithBindAddress(HP_Client client, const char* host, USHORT port, bool async);
  bool StartWithBindAddressAndLocalPort(HP_Client client, const char* host, USHORT port, bool async,
                                        USHORT local_port);
  bool Stop(HP_Client client);
  En_HP_ServiceState GetState(HP_Client client);
  bool HasStarted(HP_Client client);
  bool IsConnected(HP_Client client);

  // Queues the bytes as one message; true if queued.
  bool Send(HP_Client client, const std::string& bytes);
  bool SendPart(HP_Client client, const BYTE* data, int length, int offset);
  bool SendPackets(HP_Client client, const WSABUF* buffers, int count);
  bool SendSmallFile(HP_Client client, const char* file, const WSABUF* head, const WSABUF* tail);
  bool PauseReceive(HP_Client client, bool pause);
  bool IsPauseReceive(HP_Client client, BOOL* paused);

  void SetExtra(HP_Client client, void* extra);
  void* GetExtra(HP_Client client);
  En_HP_SocketError GetLastError(HP_Client client);
  std::string GetLastErrorDesc(HP_Client client);
  HP_CONNID GetConnectionID(HP_Client client);
  bool GetLocalAddress(HP_Client client, char* buf, int* length, USHORT* port);
  bool GetRemoteHost(HP_Client client, char* buf, int* length, USHORT* port);
  bool GetPendingDataLength(HP_Client client, int* length);

  void SetMaxPackSize(HP_Client client, DWORD size);
  DWORD GetMaxPackSize(HP_Client client);
  void SetPackHeaderFlag(HP_Client client, USHORT flag);
  USHORT GetPackHeaderFlag(HP_Client client);
  void SetSocketBufferSize(HP_Client client, DWORD size);
  DWORD GetSocketBufferSize(HP_Client client);
  void SetKeepAliveTime(HP_Client client, DWORD ms);
  DWORD GetKeepAliveTime(HP_Client client);
  void SetKeepAliveInterval(HP_Client client, DWORD ms);
  DWORD GetKeepAliveInterval(HP_Client client);
  void SetFreeBufferPoolSize(HP_Client client, DWORD size);
  DWORD GetFreeBufferPoolSize(HP_Client client);
  void SetFreeBufferPoolHold(HP_Client client, DWORD hold);
  DWORD GetFreeBufferPoolHold(HP_Client client);

  bool SetupSSLContext(HP_Client client, int verify_mode, const char* cert, const char* key,
                       const char* password, const char* ca_cert);
  void CleanupSSLContext(HP_Client client);
  bool StartSSLHandShake(HP_Client client);

 private:
  // True once a listener exists.
  bool HasListener() const { return listener_ != nullptr; }

  HP_TcpPackClientListener listener_ = nullptr;
};
