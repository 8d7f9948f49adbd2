// The library's C interface: each exported function forwards to the client or
// listener behind the handle. A null handle gives the failure result instead
// of a crash.
#include "standins/hpsocket/hp_types.h"
#include "standins/hpsocket/tcp_pack_client.h"

#define HP_API extern "C" __declspec(dllexport)

namespace {

TcpPackClient* AsClient(HP_Client client) { return static_cast<TcpPackClient*>(client); }
ClientListener* AsListener(HP_ClientListener listener) {
  return static_cast<ClientListener*>(listener);
}

const char* ErrorDescription(En_HP_SocketError error) {
  switch (error) {
    case HP_SE_OK:
      return "SUCCESS";
    case HP_SE_ILLEGAL_STATE:
      return "Illegal State";
    case HP_SE_INVALID_PARAM:
      return "Invalid Parameter";
    case HP_SE_SOCKET_CREATE:
      return "Create SOCKET Fail";
    case HP_SE_SOCKET_BIND:
      return "Bind SOCKET Fail";
    case HP_SE_SOCKET_PREPARE:
      return "Prepare SOCKET Fail";
    case HP_SE_SOCKET_LISTEN:
      return "Listen SOCKET Fail";
    case HP_SE_CP_CREATE:
      return "Create IOCP Fail";
    case HP_SE_WORKER_THREAD_CREATE:
      return "Create Worker Thread Fail";
    case HP_SE_DETECT_THREAD_CREATE:
      return "Create Detector Thread Fail";
    case HP_SE_SOCKE_ATTACH_TO_CP:
      return "Attach SOCKET to IOCP Fail";
    case HP_SE_CONNECT_SERVER:
      return "Connect to Server Fail";
    case HP_SE_NETWORK:
      return "Network Error";
    case HP_SE_DATA_PROC:
      return "Process Data Error";
    case HP_SE_DATA_SEND:
      return "Send Data Fail";
    case HP_SE_SSL_ENV_NOT_READY:
      return "SSL environment not ready";
  }
  return "UNKNOWN ERROR";
}

template <typename Callback>
void SetCallback(HP_ClientListener listener, std::atomic<Callback> ClientListener::*slot,
                 Callback fn) {
  if (listener != nullptr) (AsListener(listener)->*slot) = fn;
}

}  // namespace

// ---- listener and client objects ----

HP_API HP_TcpPackClientListener __stdcall Create_HP_TcpPackClientListener() {
  return new ClientListener();
}
HP_API void __stdcall Destroy_HP_TcpPackClientListener(HP_TcpPackClientListener listener) {
  delete AsListener(listener);
}
HP_API HP_TcpPackClient __stdcall Create_HP_TcpPackClient(HP_TcpPackClientListener listener) {
  return listener ? new TcpPackClient(AsListener(listener), false) : nullptr;
}
HP_API void __stdcall Destroy_HP_TcpPackClient(HP_TcpPackClient client) {
  if (client) AsClient(client)->Destroy();
}
// No TLS here: the secure client exists so callers can create and free it,
// and its Start reports that the SSL environment is not ready.
HP_API HP_SSLPackClient __stdcall Create_HP_SSLPackClient(HP_TcpPackClientListener listener) {
  return listener ? new TcpPackClient(AsListener(listener), true) : nullptr;
}
HP_API void __stdcall Destroy_HP_SSLPackClient(HP_SSLPackClient client) {
  if (client) AsClient(client)->Destroy();
}

// ---- callbacks ----

HP_API void __stdcall HP_Set_FN_Client_OnPrepareConnect(HP_ClientListener l,
                                                        HP_FN_Client_OnPrepareConnect fn) {
  SetCallback(l, &ClientListener::on_prepare_connect, fn);
}
HP_API void __stdcall HP_Set_FN_Client_OnConnect(HP_ClientListener l, HP_FN_Client_OnConnect fn) {
  SetCallback(l, &ClientListener::on_connect, fn);
}
HP_API void __stdcall HP_Set_FN_Client_OnHandShake(HP_ClientListener l,
                                                   HP_FN_Client_OnHandShake fn) {
  SetCallback(l, &ClientListener::on_hand_shake, fn);
}
HP_API void __stdcall HP_Set_FN_Client_OnSend(HP_ClientListener l, HP_FN_Client_OnSend fn) {
  SetCallback(l, &ClientListener::on_send, fn);
}
HP_API void __stdcall HP_Set_FN_Client_OnReceive(HP_ClientListener l, HP_FN_Client_OnReceive fn) {
  SetCallback(l, &ClientListener::on_receive, fn);
}
HP_API void __stdcall HP_Set_FN_Client_OnClose(HP_ClientListener l, HP_FN_Client_OnClose fn) {
  SetCallback(l, &ClientListener::on_close, fn);
}

// ---- start, stop, send ----

HP_API BOOL __stdcall HP_Client_Start(HP_Client c, const char* address, USHORT port, BOOL async) {
  return c ? AsClient(c)->Start(address, port, async, nullptr, 0) : FALSE;
}
HP_API BOOL __stdcall HP_Client_StartWithBindAddress(HP_Client c, const char* address, USHORT port,
                                                     BOOL async, const char* bind_address) {
  return c ? AsClient(c)->Start(address, port, async, bind_address, 0) : FALSE;
}
HP_API BOOL __stdcall HP_Client_StartWithBindAddressAndLocalPort(HP_Client c, const char* address,
                                                                 USHORT port, BOOL async,
                                                                 const char* bind_address,
                                                                 USHORT local_port) {
  return c ? AsClient(c)->Start(address, port, async, bind_address, local_port) : FALSE;
}
HP_API BOOL __stdcall HP_Client_Stop(HP_Client c) { return c ? AsClient(c)->Stop() : FALSE; }
HP_API BOOL __stdcall HP_Client_Send(HP_Client c, const BYTE* data, int length) {
  if (!c || length < 0) return FALSE;
  WSABUF buffer = {static_cast<ULONG>(length), reinterpret_cast<char*>(const_cast<BYTE*>(data))};
  return AsClient(c)->Send(&buffer, 1);
}
HP_API BOOL __stdcall HP_Client_SendPart(HP_Client c, const BYTE* data, int length, int offset) {
  if (!c || length < 0 || offset < 0 || data == nullptr) return FALSE;
  return HP_Client_Send(c, data + offset, length);
}
HP_API BOOL __stdcall HP_Client_SendPackets(HP_Client c, const WSABUF buffers[], int count) {
  return c ? AsClient(c)->Send(buffers, count) : FALSE;
}
HP_API BOOL __stdcall HP_TcpClient_SendSmallFile(HP_Client c, const char* file, const WSABUF* head,
                                                 const WSABUF* tail) {
  return c ? AsClient(c)->SendSmallFile(file, head, tail) : FALSE;
}
HP_API BOOL __stdcall HP_Client_PauseReceive(HP_Client c, BOOL pause) {
  return c ? AsClient(c)->PauseReceive(pause) : FALSE;
}

// ---- queries ----

HP_API void __stdcall HP_Client_SetExtra(HP_Client c, PVOID extra) {
  if (c) AsClient(c)->extra = extra;
}
HP_API PVOID __stdcall HP_Client_GetExtra(HP_Client c) {
  return c ? AsClient(c)->extra.load() : nullptr;
}
HP_API BOOL __stdcall HP_Client_IsSecure(HP_Client c) { return c && AsClient(c)->secure(); }
HP_API BOOL __stdcall HP_Client_HasStarted(HP_Client c) {
  if (!c) return FALSE;
  En_HP_ServiceState s = AsClient(c)->state();
  return s == HP_SS_STARTING || s == HP_SS_STARTED;
}
HP_API BOOL __stdcall HP_Client_IsConnected(HP_Client c) { return c && AsClient(c)->connected(); }
HP_API En_HP_ServiceState __stdcall HP_Client_GetState(HP_Client c) {
  return c ? AsClient(c)->state() : HP_SS_STOPPED;
}
HP_API En_HP_SocketError __stdcall HP_Client_GetLastError(HP_Client c) {
  return c ? AsClient(c)->last_error() : HP_SE_INVALID_PARAM;
}
HP_API LPCSTR __stdcall HP_Client_GetLastErrorDesc(HP_Client c) {
  return ErrorDescription(c ? AsClient(c)->last_error() : HP_SE_INVALID_PARAM);
}
HP_API HP_CONNID __stdcall HP_Client_GetConnectionID(HP_Client c) {
  return c ? AsClient(c)->connection_id() : 0;
}
HP_API BOOL __stdcall HP_Client_GetLocalAddress(HP_Client c, char buf[], int* length,
                                                USHORT* port) {
  return c ? AsClient(c)->GetLocalAddress(buf, length, port) : FALSE;
}
HP_API BOOL __stdcall HP_Client_GetRemoteHost(HP_Client c, char buf[], int* length, USHORT* port) {
  return c ? AsClient(c)->GetRemoteHost(buf, length, port) : FALSE;
}
HP_API BOOL __stdcall HP_Client_GetPendingDataLength(HP_Client c, int* pending) {
  if (!c || pending == nullptr || !AsClient(c)->connected()) return FALSE;
  *pending = static_cast<int>(AsClient(c)->pending_bytes());
  return TRUE;
}
HP_API BOOL __stdcall HP_Client_IsPauseReceive(HP_Client c, BOOL* paused) {
  if (!c || paused == nullptr || !AsClient(c)->connected()) return FALSE;
  *paused = AsClient(c)->paused();
  return TRUE;
}

// ---- settings ----

#define HP_DWORD_SETTING(set_name, get_name, field)          \
  HP_API void __stdcall set_name(HP_Client c, DWORD value) { \
    if (c) AsClient(c)->field = value;                       \
  }                                                          \
  HP_API DWORD __stdcall get_name(HP_Client c) { return c ? AsClient(c)->field.load() : 0; }

HP_DWORD_SETTING(HP_Client_SetFreeBufferPoolSize, HP_Client_GetFreeBufferPoolSize,
                 free_buffer_pool_size)
HP_DWORD_SETTING(HP_Client_SetFreeBufferPoolHold, HP_Client_GetFreeBufferPoolHold,
                 free_buffer_pool_hold)
HP_DWORD_SETTING(HP_TcpClient_SetSocketBufferSize, HP_TcpClient_GetSocketBufferSize,
                 socket_buffer_size)
HP_DWORD_SETTING(HP_TcpClient_SetKeepAliveTime, HP_TcpClient_GetKeepAliveTime, keep_alive_time)
HP_DWORD_SETTING(HP_TcpClient_SetKeepAliveInterval, HP_TcpClient_GetKeepAliveInterval,
                 keep_alive_interval)
// Out-of-range values are stored as given; Start refuses them.
HP_DWORD_SETTING(HP_TcpPackClient_SetMaxPackSize, HP_TcpPackClient_GetMaxPackSize, max_pack_size)

HP_API void __stdcall HP_TcpPackClient_SetPackHeaderFlag(HP_Client c, USHORT flag) {
  if (c) AsClient(c)->pack_header_flag = flag;
}
HP_API USHORT __stdcall HP_TcpPackClient_GetPackHeaderFlag(HP_Client c) {
  return c ? AsClient(c)->pack_header_flag.load() : 0;
}

// ---- TLS: not available in this build ----

HP_API BOOL __stdcall HP_SSLClient_SetupSSLContext(HP_Client c, int verify_mode,
                                                   const char* cert_file, const char* key_file,
                                                   const char* key_password,
                                                   const char* ca_cert_file) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
HP_API void __stdcall HP_SSLClient_CleanupSSLContext(HP_Client c) {}
HP_API BOOL __stdcall HP_SSLClient_StartSSLHandShake(HP_Client c) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
