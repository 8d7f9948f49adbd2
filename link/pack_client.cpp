#include "link/pack_client.h"

namespace {

// The local address the bind variants start from: any interface.
constexpr char kAnyAddress[] = "0.0.0.0";

bool IsClient(HP_Client client) { return client != nullptr && client != NoListenerClient(); }

}  // namespace

// Each call checks both the handle and that the library gave the function, so
// a missing library shows as failed calls, never as a crash.
#define HP_CALL_OR(fallback, name, client, ...) \
  ((IsClient(client) && HpSocket().name) ? HpSocket().name(client, ##__VA_ARGS__) : (fallback))
#define HP_CALL_VOID(name, client, ...)                                              \
  do {                                                                               \
    if (IsClient(client) && HpSocket().name) HpSocket().name(client, ##__VA_ARGS__); \
  } while (0)

HP_Client PackClient::Create(bool ssl) {
  if (!HasListener() && HpSocket().Create_HP_TcpPackClientListener)
    listener_ = HpSocket().Create_HP_TcpPackClientListener();
  if (!HasListener()) return NoListenerClient();
  auto create = ssl ? HpSocket().Create_HP_SSLPackClient : HpSocket().Create_HP_TcpPackClient;
  return create ? create(listener_) : nullptr;
}

void PackClient::Destroy(HP_Client client, bool ssl) {
  if (ssl) {
    HP_CALL_VOID(Destroy_HP_SSLPackClient, client);
  } else {
    HP_CALL_VOID(Destroy_HP_TcpPackClient, client);
  }
}

#define HP_SET_LISTENER_CALLBACK(method, library_name, type)             \
  bool PackClient::method(type fn) {                                     \
    if (!HasListener()) return false;                                    \
    if (HpSocket().library_name) HpSocket().library_name(listener_, fn); \
    return true;                                                         \
  }

HP_SET_LISTENER_CALLBACK(SetOnConnect, HP_Set_FN_Client_OnConnect, HP_FN_Client_OnConnect)
HP_SET_LISTENER_CALLBACK(SetOnReceive, HP_Set_FN_Client_OnReceive, HP_FN_Client_OnReceive)
HP_SET_LISTENER_CALLBACK(SetOnClose, HP_Set_FN_Client_OnClose, HP_FN_Client_OnClose)
HP_SET_LISTENER_CALLBACK(SetOnPrepareConnect, HP_Set_FN_Client_OnPrepareConnect,
                         HP_FN_Client_OnPrepareConnect)
HP_SET_LISTENER_CALLBACK(SetOnHandShake, HP_Set_FN_Client_OnHandShake, HP_FN_Client_OnHandShake)
HP_SET_LISTENER_CALLBACK(SetOnSend, HP_Set_FN_Client_OnSend, HP_FN_Client_OnSend)

bool PackClient::Start(HP_Client client, const char* host, USHORT port, bool async) {
  return HP_CALL_OR(FALSE, HP_Client_Start, client, host, port, async) != FALSE;
}

bool PackClient::StartWithBindAddress(HP_Client client, const char* host, USHORT port, bool async) {
  return HP_CALL_OR(FALSE, HP_Client_StartWithBindAddress, client, host, port, async,
                    kAnyAddress) != FALSE;
}

bool PackClient::StartWithBindAddressAndLocalPort(HP_Client client, const char* host, USHORT port,
                                                  bool async, USHORT local_port) {
  return HP_CALL_OR(FALSE, HP_Client_StartWithBindAddressAndLocalPort, client, host, port, async,
                    kAnyAddress, local_port) != FALSE;
}

bool PackClient::Stop(HP_Client client) {
  return HP_CALL_OR(FALSE, HP_Client_Stop, client) != FALSE;
}

// A client that cannot be asked counts as stopped, which is what the
// watchdog acts on.
En_HP_ServiceState PackClient::GetState(HP_Client client) {
  return HP_CALL_OR(HP_SS_STOPPED, HP_Client_GetState, client);
}

bool PackClient::HasStarted(HP_Client client) {
  return HP_CALL_OR(FALSE, HP_Client_HasStarted, client) != FALSE;
}

bool PackClient::IsConnected(HP_Client client) {
  return HP_CALL_OR(FALSE, HP_Client_IsConnected, client) != FALSE;
}

bool PackClient::Send(HP_Client client, const std::string& bytes) {
  const BYTE* data = reinterpret_cast<const BYTE*>(bytes.data());
  return HP_CALL_OR(FALSE, HP_Client_Send, client, data, static_cast<int>(bytes.size())) != FALSE;
}

bool PackClient::SendPart(HP_Client client, const BYTE* data, int length, int offset) {
  return HP_CALL_OR(FALSE, HP_Client_SendPart, client, data, length, offset) != FALSE;
}

bool PackClient::SendPackets(HP_Client client, const WSABUF* buffers, int count) {
  return HP_CALL_OR(FALSE, HP_Client_SendPackets, client, buffers, count) != FALSE;
}

bool PackClient::SendSmallFile(HP_Client client, const char* file, const WSABUF* head,
                               const WSABUF* tail) {
  return HP_CALL_OR(FALSE, HP_TcpClient_SendSmallFile, client, file, head, tail) != FALSE;
}

bool PackClient::PauseReceive(HP_Client client, bool pause) {
  return HP_CALL_OR(FALSE, HP_Client_PauseReceive, client, pause) != FALSE;
}

bool PackClient::IsPauseReceive(HP_Client client, BOOL* paused) {
  return HP_CALL_OR(FALSE, HP_Client_IsPauseReceive, client, paused) != FALSE;
}

void PackClient::SetExtra(HP_Client client, void* extra) {
  HP_CALL_VOID(HP_Client_SetExtra, client, extra);
}

void* PackClient::GetExtra(HP_Client client) {
  return HP_CALL_OR(nullptr, HP_Client_GetExtra, client);
}

En_HP_SocketError PackClient::GetLastError(HP_Client client) {
  return HP_CALL_OR(HP_SE_INVALID_PARAM, HP_Client_GetLastError, client);
}

std::string PackClient::GetLastErrorDesc(HP_Client client) {
  const char* text = HP_CALL_OR(nullptr, HP_Client_GetLastErrorDesc, client);
  return text ? text : "";
}

HP_CONNID PackClient::GetConnectionID(HP_Client client) {
  return HP_CALL_OR(0, HP_Client_GetConnectionID, client);
}

bool PackClient::GetLocalAddress(HP_Client client, char* buf, int* length, USHORT* port) {
  return HP_CALL_OR(FALSE, HP_Client_GetLocalAddress, client, buf, length, port) != FALSE;
}

bool PackClient::GetRemoteHost(HP_Client client, char* buf, int* length, USHORT* port) {
  return HP_CALL_OR(FALSE, HP_Client_GetRemoteHost, client, buf, length, port) != FALSE;
}

bool PackClient::GetPendingDataLength(HP_Client client, int* length) {
  return HP_CALL_OR(FALSE, HP_Client_GetPendingDataLength, client, length) != FALSE;
}

#define HP_SETTING(type, set_method, get_method, set_name, get_name) \
  void PackClient::set_method(HP_Client client, type value) {        \
    HP_CALL_VOID(set_name, client, value);                           \
  }                                                                  \
  type PackClient::get_method(HP_Client client) {                    \
    return HP_CALL_OR(static_cast<type>(0), get_name, client);       \
  }

HP_SETTING(DWORD, SetMaxPackSize, GetMaxPackSize, HP_TcpPackClient_SetMaxPackSize,
           HP_TcpPackClient_GetMaxPackSize)
HP_SETTING(USHORT, SetPackHeaderFlag, GetPackHeaderFlag, HP_TcpPackClient_SetPackHeaderFlag,
           HP_TcpPackClient_GetPackHeaderFlag)
HP_SETTING(DWORD, SetSocketBufferSize, GetSocketBufferSize, HP_TcpClient_SetSocketBufferSize,
           HP_TcpClient_GetSocketBufferSize)
HP_SETTING(DWORD, SetKeepAliveTime, GetKeepAliveTime, HP_TcpClient_SetKeepAliveTime,
           HP_TcpClient_GetKeepAliveTime)
HP_SETTING(DWORD, SetKeepAliveInterval, GetKeepAliveInterval, HP_TcpClient_SetKeepAliveInterval,
           HP_TcpClient_GetKeepAliveInterval)
HP_SETTING(DWORD, SetFreeBufferPoolSize, GetFreeBufferPoolSize, HP_Client_SetFreeBufferPoolSize,
           HP_Client_GetFreeBufferPoolSize)
HP_SETTING(DWORD, SetFreeBufferPoolHold, GetFreeBufferPoolHold, HP_Client_SetFreeBufferPoolHold,
           HP_Client_GetFreeBufferPoolHold)

bool PackClient::SetupSSLContext(HP_Client client, int verify_mode, const char* cert,
                                 const char* key, const char* password, const char* ca_cert) {
  return HP_CALL_OR(FALSE, HP_SSLClient_SetupSSLContext, client, verify_mode, cert, key, password,
                    ca_cert) != FALSE;
}

void PackClient::CleanupSSLContext(HP_Client client) {
  HP_CALL_VOID(HP_SSLClient_CleanupSSLContext, client);
}

bool PackClient::StartSSLHandShake(HP_Client client) {
  return HP_CALL_OR(FALSE, HP_SSLClient_StartSSLHandShake, client) != FALSE;
}
